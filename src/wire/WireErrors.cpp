#include "wire/WireErrors.h"

#include "wire/SocketErrors.h"

namespace pelko {

void EWireException::RaiseWithMessage(const std::string& message) const
{
    throw EWireException(message);
}

EWireSocketError::EWireSocketError(int code) : EWireException(SocketErrorText(code)), Code(code) {}

void EWireSocketError::RaiseWithMessage(const std::string& message) const
{
    throw EWireSocketError(Code, message);
}

std::string LineTooLongText(size_t maxLength)
{
    return "Line too long: the server sent more than " + std::to_string(maxLength) +
           " bytes without a line end.";
}

} // namespace pelko
