#pragma once
// How an account signs in, kept in the password line of Accounts.ini so that
// the file keeps its layout: a plain password (signing in as always) is
// written exactly as before; any other choice is a marker that no server
// takes as a password, so an older Pelko reading it fails safely.
//   {pelko:keyring}             the password lives in the desktop keyring
//   {pelko:command:xoauth2}CMD  an OAuth 2.0 token printed by CMD
//   {pelko:password:plain}PASS  a password sent by AUTH PLAIN
// (";" may follow the source name: filler that keeps the scrambled line
// free of bytes the file cannot hold.)
#include <string>

namespace pelko {

enum class SecretSource { Password, Keyring, Command };
enum class AuthMechanism { Automatic, Plain, XOAuth2, OAuthBearer };

struct AccountAuth {
    SecretSource source = SecretSource::Password;
    AuthMechanism mechanism = AuthMechanism::Automatic;
    std::string password; // SecretSource::Password
    std::string command;  // SecretSource::Command: program and arguments
};

// Reads a password line's value (unscrambled). Anything that is not one of
// our markers is a password, as it always was.
AccountAuth ReadAccountAuth(const std::string& field);
// The value to keep in the password line.
std::string AccountAuthField(const AccountAuth& auth);

} // namespace pelko
