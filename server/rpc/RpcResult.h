#pragma once

#include <memory>
#include <string>

// A result written part by part (a large packet). Throws as a method does.
class RpcResultStream
{
public:
    virtual ~RpcResultStream() = default;
    // Appends the next part of the result's JSON; false once it is complete.
    virtual bool fill(std::string &out) = 0;
    virtual int rows() const = 0;

protected:
    RpcResultStream() = default;
    RpcResultStream(const RpcResultStream &) = default;
    RpcResultStream &operator=(const RpcResultStream &) = default;
};

// What a remote method answers: the JSON text of its result and, for the log, the
// number of rows it carries; or a stream that writes the result.
struct RpcResult
{
    std::string json;
    int rows = -1;
    std::shared_ptr<RpcResultStream> stream; // when set, the result's text comes from it
};
