#pragma once
// The secret an account signs in with, fetched just before the login.
#include "wire/Pop3.h"

#include <functional>
#include <string>

namespace pelko {

// pop.Password holds the account's password line as read from
// Accounts.ini: sets the mechanism and puts the secret itself in its place
// (the password, the keyring's password, or a fresh token from the token
// command). Raises EWireException when there is none to be had, or when it
// holds a line break (CR, LF) or a NUL byte: such a secret never reaches the
// server. The keyring and the token command get the login time-out
// (pop.Timeout); idle runs while they are waited for and may raise to give up.
void PrepareLogin(TWirePOP3& pop, const std::string& accountName, const std::function<void()>& idle);

} // namespace pelko
