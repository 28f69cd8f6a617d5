#pragma once
// The secret an account signs in with, fetched just before the login.
#include "session/MailAccount.h"

#include <functional>
#include <string>

namespace pelko {

// The password, the keyring's password, or a fresh token from the token
// command, as the account says. Raises EWireException when there is none to
// be had, or when it holds a line break (CR, LF) or a NUL byte: such a
// secret never reaches the server. The keyring and the token command get
// timeoutMs; idle runs while they are waited for and may raise to give up.
std::string FetchLoginSecret(const MailAccount& account, int timeoutMs, const std::function<void()>& idle);

} // namespace pelko
