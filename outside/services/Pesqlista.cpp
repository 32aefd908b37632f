#include "outside/services/Pesqlista.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>

#include "platform/data/FasError.h"
#include "platform/data/JsonWriter.h"
#include "outside/services/MessageDialog.h"
#include "platform/ui/TDataSource.h"
#include "outside/forms/TfrmPesqLista.h"

namespace Pesqlista {

QStringList ParseList(const QString &list)
{
    QStringList keys;
    const QJsonDocument document = QJsonDocument::fromJson(list.toUtf8());
    if (!document.isArray())
        return keys;
    const QJsonArray array = document.array();
    for (const QJsonValue &value : array) {
        if (value.isString())
            keys << value.toString();
    }
    return keys;
}

QString WriteList(const QStringList &keys)
{
    if (keys.isEmpty())
        return {};
    return QString::fromStdString(JsonWriter::stringList(keys));
}

void PesquisaLista(TDataSource *source, const QString &keyField, const QString &titleAndEmpty, bool singleChoice,
                   QString &list)
{
    TClientDataSet *dataSet = source ? source->DataSet() : nullptr;
    if (!dataSet || !dataSet->Active())
        throw FasError(QStringLiteral("A lista não pode ser mostrada: os dados não estão abertos."));
    const QString title = titleAndEmpty.section(QLatin1Char('|'), 0, 0);
    const QString emptyMessage = titleAndEmpty.section(QLatin1Char('|'), 1);
    if (dataSet->IsEmpty()) {
        MessageDialog::information(emptyMessage);
        return;
    }
    TfrmPesqLista picker(*dataSet, keyField, title, ParseList(list), QApplication::activeWindow());
    if (picker.exec() != QDialog::Accepted)
        return;
    QStringList keys = picker.PickedKeys();
    if (singleChoice && keys.size() > 1)
        keys = keys.mid(0, 1);
    list = WriteList(keys);
}

} // namespace Pesqlista
