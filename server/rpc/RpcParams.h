#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QString>

#include <simdjson.h>

// The positional parameters of one JSON-RPC call, taken out of the request
// document: strings as text, objects and arrays as their JSON text. Accessors throw
// RpcError(InvalidParams) with a message naming the parameter.
class RpcParams
{
public:
    enum class Kind { String, Number, Boolean, Null, Object, Array };
    struct Value
    {
        Kind kind = Kind::Null;
        QString text;     // Kind::String
        std::string json; // every kind: the value's JSON text
        // The value as the request's parser read it; valid while the call runs (the
        // parser keeps the request until the call has answered). None when the
        // parameters were not read from a request.
        std::optional<simdjson::dom::element> element;
    };

    RpcParams() = default;
    explicit RpcParams(std::vector<Value> values)
        : m_values(std::move(values))
    {
    }

    int size() const { return int(m_values.size()); }
    const Value &at(int index) const { return m_values.at(size_t(index)); }

    // Exactly `count` parameters, else an error quoting the method's signature.
    void expectCount(const QString &method, int count, const QString &signature) const;
    // Parameter `index` (from 0) as text; `name` is how messages call it.
    QString text(int index, const QString &name) const;
    // Parameter `index` as the JSON text of an object.
    const std::string &object(int index, const QString &name) const { return objectValue(index, name).json; }
    // Parameter `index`, an object: its text and, from a request, its parsed form.
    const Value &objectValue(int index, const QString &name) const;

private:
    std::vector<Value> m_values;
};
