#pragma once

#include <optional>
#include <string>
#include <string_view>
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
        QString text; // Kind::String
        // The value's JSON text; for an object or array read from a request, empty
        // until jsonText() writes it (a batch is not written again unless asked).
        mutable std::string json;
        // The value as the request's parser read it; valid while the call runs (the
        // parser keeps the request until the call has answered). None when the
        // parameters were not read from a request.
        std::optional<simdjson::dom::element> element;
    };

    RpcParams() = default;
    // Where the call stands in the request it was read from: the request's text
    // and, in a batch, the call's place (from 0; -1 for a single call).
    struct Source
    {
        std::string_view request;
        int place = -1;
    };

    explicit RpcParams(std::vector<Value> values)
        : m_values(std::move(values))
    {
    }
    RpcParams(std::vector<Value> values, Source source)
        : m_values(std::move(values))
        , m_source(source)
    {
    }

    int size() const { return int(m_values.size()); }
    const Value &at(int index) const { return m_values.at(size_t(index)); }

    // Exactly `count` parameters, else an error quoting the method's signature.
    void expectCount(const QString &method, int count, const QString &signature) const;
    // Parameter `index` (from 0) as text; `name` is how messages call it.
    QString text(int index, const QString &name) const;
    // Parameter `index` as the JSON text of an object.
    const std::string &object(int index, const QString &name) const { return jsonText(objectValue(index, name)); }
    // Parameter `index`, an object: its text (jsonText) and, from a request, its parsed form.
    const Value &objectValue(int index, const QString &name) const;
    // The value's JSON text, written from its parsed form when it was not kept.
    static const std::string &jsonText(const Value &value);

    // The list as the request sent it, without the blanks between its tokens:
    // texts, numbers and the order of members as they were sent. Empty when the
    // call had no parameters or they were not read from a request.
    std::string sentText() const;

private:
    std::vector<Value> m_values;
    Source m_source; // the request's text lives while the call runs, as the parsed values do
};
