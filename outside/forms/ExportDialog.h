#pragma once

#include <functional>
#include <memory>

#include <QDialog>

#include "outside/forms/TableExport.h"
#include "kor_export.h"

class QLabel;
class QLineEdit;
class QRadioButton;
class ExportTable;

// "Exportar": asks which rows (all or only the ticked ones, where the table has
// ticks), the file's format and its name, then writes the file under a progress
// dialog that can cancel. Run() is what the screen's commands call.
class KOR_EXPORT ExportDialog : public QDialog
{
    Q_OBJECT
public:
    // Builds the table to write: only the ticked rows when asked.
    using TableSource = std::function<std::unique_ptr<ExportTable>(bool onlyTicked)>;

    ExportDialog(QWidget *parent, bool offerTicked);

    QRadioButton *rbtTodas = nullptr;
    QRadioButton *rbtMarcadas = nullptr;
    QRadioButton *rbtXlsx = nullptr;
    QRadioButton *rbtCsv = nullptr;
    QLineEdit *edtArquivo = nullptr;
    QLabel *lblArquivo = nullptr;

    TableExport::Format Format() const;
    bool OnlyTicked() const;
    // The file name with the format's extension when it has none of its own.
    QString FilePath() const;

    // Asks and writes; a written file is named, with its rows, in the main
    // form's status bar (DoneMessage); a cancel leaves no file.
    static void Run(QWidget *parent, bool offerTicked, const TableSource &source);
    static QString DoneMessage(const QString &path, int rows);
    // Where the suggested file goes: the user's documents folder, or the home
    // folder when there is none.
    static QString SuggestedFolder();

    void accept() override;

private:
    void browse();
};
