#pragma once

#include <QPointer>
#include <QToolButton>

#include "kor_export.h"

#include "platform/ui/TDataSource.h"

// A lookup button beside the control it serves: it carries the list's title,
// the message for an empty list and the data source the list is read from.
class KOR_EXPORT TBtnPesquisa : public QToolButton
{
    Q_OBJECT
public:
    explicit TBtnPesquisa(QWidget *parent = nullptr);

    QWidget *AssociatedControl() const { return m_associated; }
    void SetAssociatedControl(QWidget *control) { m_associated = control; }
    QString Title() const { return m_title; }
    void SetTitle(const QString &title) { m_title = title; }
    QString EmptyListMessage() const { return m_emptyMessage; }
    void SetEmptyListMessage(const QString &message) { m_emptyMessage = message; }
    TDataSource *ListSource() const { return m_source; }
    void SetListSource(TDataSource *source) { m_source = source; }

private:
    QPointer<QWidget> m_associated;
    QPointer<TDataSource> m_source;
    QString m_title;
    QString m_emptyMessage;
};
