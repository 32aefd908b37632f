#pragma once

class QCoreApplication;

// Qt's own texts (the standard buttons of a question, the file dialog, a line
// edit's context menu) in Brazilian Portuguese, like the screens around them.
class HostTranslations
{
public:
    // Loads qtbase_pt_BR from Qt's translations folder into `application`.
    // Returns false, after a warning on stderr, when Debian's
    // qt6-translations-l10n is not installed: Qt's texts then stay in English.
    static bool install(QCoreApplication &application);
};
