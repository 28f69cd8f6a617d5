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

} // namespace pelko
