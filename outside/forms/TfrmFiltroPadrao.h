#pragma once

#include <QDialog>
#include <QStringList>

#include "outside/forms/TfrmPadrao.h"
#include "kor_export.h"

class QAbstractButton;
class QLabel;
class TButtonFlat;
class TMessages;

// The base of the suite's filter dialogs: a filter area (grbFiltroPadrao)
// beside a button panel (panMenu with panBotoes: confirm, cancel, save options,
// load options), the screen-code label and a message catalogue.
//
// A dialog's design (its .ui file) holds the base components under their names;
// BindDesign finds them there. Handlers are virtual; a dialog that overrides
// one calls the base first (sbtConfirmaClick is replaced whole).
//
// Options: a list of "name=value" lines, saved per user (see OptionsSettings).
// Saving runs btfSaveOpcClick, whose base step fills the list from the filter
// area's controls, and then writes the list, so lines a dialog adds after the
// base step are kept with the others. Loading reads the list and then runs
// btfLoadOpcClick, whose base step sets the controls from it.
//
// Controls changed from code (loading options, a dialog's own restore step) go
// through SetChecked, which runs ControlClicked exactly when a user's click
// would have run the control's click rule: when a check box's tick changes or
// a radio button becomes selected.
class KOR_EXPORT TfrmFiltroPadrao : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmFiltroPadrao(QWidget *parent = nullptr);
    ~TfrmFiltroPadrao() override;

    virtual void FormCreate(QObject *sender);
    virtual void FormActivate(QObject *sender);
    virtual void FormClose(QObject *sender, TCloseAction &action);
    virtual void sbtConfirmaClick(QObject *sender);
    virtual void btfSaveOpcClick(QObject *sender);
    virtual void btfLoadOpcClick(QObject *sender);

    // The option list and its lines by name. Setting replaces the line of that
    // name or adds one; an empty value removes the line. A missing name reads "".
    QStringList &Opcoes() { return m_options; }
    const QStringList &Opcoes() const { return m_options; }
    QString OptionValue(const QString &name) const;
    void SetOptionValue(const QString &name, const QString &value);

    // Where this dialog's options are kept for the current user: the user's
    // "fas09600/filtros.ini", group = the screen code of lblCodTela.
    QString OptionsGroup() const;
    static QString OptionsKey() { return QStringLiteral("Opcoes"); }

    // Sets a check box's tick or selects/deselects a radio button as a click
    // would, running ControlClicked when the state changed (for a radio button:
    // when it became selected).
    void SetChecked(QAbstractButton *button, bool checked);

    TButtonFlat *sbtConfirma = nullptr;
    TButtonFlat *sbtCancela = nullptr;
    TButtonFlat *btfSaveOpc = nullptr;
    TButtonFlat *btfLoadOpc = nullptr;
    TMessages *msgPadrao = nullptr;
    QLabel *lblCodTela = nullptr;
    QWidget *grbFiltroPadrao = nullptr;
    QWidget *panMenu = nullptr;
    QWidget *panBotoes = nullptr;

protected:
    // Finds the base components in the loaded design and wires their handlers.
    // Throws FasError naming a component the design lacks.
    void BindDesign();

    // A control's click rule, run for a user's click and for SetChecked alike.
    virtual void ControlClicked(QAbstractButton *button);
    // Connects a button's user clicks to ControlClicked (through the event guard).
    void ConnectClickRule(QAbstractButton *button);

    // Closes the dialog through FormClose; `result` ends a modal showing.
    void CloseWithResult(int result);

    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

public:
    void reject() override;

private:
    void saveOptions();
    void loadOptions();

    QStringList m_options;
    int m_closeResult = QDialog::Rejected;
};
