#include "server/rpc/MethodRegistry.h"

#include <stdexcept>

void MethodRegistry::add(std::string name, AccessRight required, Handler handler, Refused refused)
{
    if (find(name))
        throw std::logic_error("remote method registered twice: " + name);
    m_methods.push_back(Method{std::move(name), required, std::move(handler), std::move(refused)});
}

const MethodRegistry::Method *MethodRegistry::find(std::string_view name) const
{
    for (const Method &method : m_methods)
        if (method.name == name)
            return &method;
    return nullptr;
}

QString MethodRegistry::namesText() const
{
    QString text;
    for (std::size_t i = 0; i < m_methods.size(); ++i) {
        if (i > 0)
            text += i + 1 == m_methods.size() ? QStringLiteral(" e ") : QStringLiteral(", ");
        text += QString::fromStdString(m_methods[i].name);
    }
    return text;
}
