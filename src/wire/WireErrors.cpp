#include "wire/WireErrors.h"

#include "wire/SocketErrors.h"

namespace pelko {

void EWireException::RaiseWithMessage(const std::string& message) const
{
    throw EWireException(message);
}

EWireSocketError::EWireSocketError(int code) : EWireException(SocketErrorText(code)), Code(code) {}

std::string ReplyTooLongText(size_t maxLines, size_t maxBytes)
{
    return "Reply too long: the server sent more than " + std::to_string(maxLines) + " lines or " +
           std::to_string(maxBytes) + " bytes for one reply.";
}

void EWireSocketError::RaiseWithMessage(const std::string& message) const
{
    throw EWireSocketError(Code, message);
}

} // namespace pelko
