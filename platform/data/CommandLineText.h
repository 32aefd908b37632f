#pragma once

#include <QString>

#include "fasdata_export.h"

class QCommandLineParser;

// What the programs say about their command line, in Portuguese: Qt's parser words
// its help and its errors in English and names the program by the path it was
// started from.
namespace CommandLineText {

// The parser's help, its usage line naming `program` ("Uso: fas-appserver [opções]")
// and its headings and built-in options in Portuguese.
FASDATA_EXPORT QString help(const QCommandLineParser &parser, const QString &program);
// The parser's error in Portuguese, and where to read the options:
// "fas-demo-data: opção desconhecida: --linhas. Veja fas-demo-data --help."
FASDATA_EXPORT QString error(const QCommandLineParser &parser, const QString &program);

// The status of a program whose command line is wrong.
inline constexpr int UsageStatus = 2;

} // namespace CommandLineText
