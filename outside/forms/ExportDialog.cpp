#include "outside/forms/ExportDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/ui/ExportTable.h"
#include "platform/data/FasError.h"
#include "outside/services/MessageDialog.h"
#include "outside/forms/TApplication.h"

ExportDialog::ExportDialog(QWidget *parent, bool offerTicked)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmExportar"));
    setWindowTitle(QStringLiteral("Exportar"));
    auto *layout = new QVBoxLayout(this);

    auto *rows = new QGroupBox(QStringLiteral("Linhas"), this);
    auto *rowsLayout = new QVBoxLayout(rows);
    rbtTodas = new QRadioButton(QStringLiteral("&Todas as linhas"), rows);
    rbtMarcadas = new QRadioButton(QStringLiteral("Somente as &marcadas"), rows);
    rbtTodas->setChecked(true);
    rowsLayout->addWidget(rbtTodas);
    rowsLayout->addWidget(rbtMarcadas);
    rows->setVisible(offerTicked);
    layout->addWidget(rows);

    auto *format = new QGroupBox(QStringLiteral("Formato"), this);
    auto *formatLayout = new QVBoxLayout(format);
    rbtXlsx = new QRadioButton(QStringLiteral("Planilha &XLSX"), format);
    rbtCsv = new QRadioButton(QStringLiteral("Texto &CSV (separado por \";\")"), format);
    rbtXlsx->setChecked(true);
    formatLayout->addWidget(rbtXlsx);
    formatLayout->addWidget(rbtCsv);
    layout->addWidget(format);

    auto *fileLayout = new QHBoxLayout;
    edtArquivo = new QLineEdit(this);
    edtArquivo->setObjectName(QStringLiteral("edtArquivo"));
    edtArquivo->setMinimumWidth(320);
    // The format's extension is added when the name has none of its own.
    edtArquivo->setText(
        QDir::toNativeSeparators(QDir(SuggestedFolder()).filePath(QStringLiteral("Prévia para Faturamento"))));
    auto *browseButton = new QToolButton(this);
    browseButton->setText(QStringLiteral("..."));
    browseButton->setToolTip(QStringLiteral("Escolher o arquivo"));
    connect(browseButton, &QToolButton::clicked, this, &ExportDialog::browse);
    fileLayout->addWidget(edtArquivo);
    fileLayout->addWidget(browseButton);
    auto *form = new QFormLayout;
    // A label beside a layout has no buddy of its own: Alt+A reaches the name.
    lblArquivo = new QLabel(QStringLiteral("&Arquivo:"), this);
    lblArquivo->setBuddy(edtArquivo);
    form->addRow(lblArquivo, fileLayout);
    layout->addLayout(form);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Exportar"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ExportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ExportDialog::reject);
    layout->addWidget(buttons);
    edtArquivo->setFocus();
}

QString ExportDialog::SuggestedFolder()
{
    // A fresh account may have no documents folder yet: the home folder then.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

TableExport::Format ExportDialog::Format() const
{
    return rbtCsv->isChecked() ? TableExport::Format::Csv : TableExport::Format::Xlsx;
}

bool ExportDialog::OnlyTicked() const
{
    return rbtMarcadas->isChecked();
}

QString ExportDialog::FilePath() const
{
    QString path = edtArquivo->text().trimmed();
    if (path.isEmpty())
        return path;
    const QString suffix = Format() == TableExport::Format::Csv ? QStringLiteral("csv") : QStringLiteral("xlsx");
    if (QFileInfo(path).suffix().compare(suffix, Qt::CaseInsensitive) != 0)
        path += QLatin1Char('.') + suffix;
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

void ExportDialog::browse()
{
    const QString filter = Format() == TableExport::Format::Csv ? QStringLiteral("Texto CSV (*.csv)")
                                                                  : QStringLiteral("Planilha XLSX (*.xlsx)");
    const QString chosen = QFileDialog::getSaveFileName(this, QStringLiteral("Exportar"), edtArquivo->text(), filter,
                                                        nullptr, QFileDialog::DontConfirmOverwrite);
    if (!chosen.isEmpty())
        edtArquivo->setText(QDir::toNativeSeparators(chosen));
}

void ExportDialog::accept()
{
    if (edtArquivo->text().trimmed().isEmpty()) {
        edtArquivo->setFocus();
        MessageDialog::error(QStringLiteral("Arquivo deve ser informado."));
        return;
    }
    const QFileInfo target(FilePath());
    if (!target.dir().exists()) {
        edtArquivo->setFocus();
        MessageDialog::error(QStringLiteral("A pasta %1 não existe.").arg(QDir::toNativeSeparators(target.path())));
        return;
    }
    if (target.exists()
        && QMessageBox::question(this, QStringLiteral("Exportar"),
                                 QStringLiteral("O arquivo %1 já existe. Deseja substituí-lo?")
                                     .arg(QDir::toNativeSeparators(target.filePath())))
               != QMessageBox::Yes) {
        edtArquivo->setFocus();
        return;
    }
    QDialog::accept();
}

void ExportDialog::Run(QWidget *parent, bool offerTicked, const TableSource &source)
{
    ExportDialog dialog(parent, offerTicked);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::unique_ptr<ExportTable> table = source(dialog.OnlyTicked());
    QProgressDialog progress(QStringLiteral("Exportando %1 linha(s)...").arg(table->rowCount()),
                             QStringLiteral("Cancelar"), 0, std::max(table->rowCount(), 1), parent);
    progress.setWindowTitle(QStringLiteral("Exportar"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    const bool written = TableExport::Write(*table, dialog.Format(), dialog.FilePath(),
                                              [&progress](int done, int total) {
                                                  progress.setMaximum(std::max(total, 1));
                                                  progress.setValue(done);
                                                  return !progress.wasCanceled();
                                              });
    if (written)
        Application().ShowStatusMessage(DoneMessage(dialog.FilePath(), table->rowCount()));
}

QString ExportDialog::DoneMessage(const QString &path, int rows)
{
    return QStringLiteral("%1 linha(s) exportada(s) para %2.")
        .arg(QLocale().toString(rows), QFileInfo(path).fileName());
}
