#pragma once
// The mailbox over POP3: TWirePOP3 underneath.
#include "session/ClientMailbox.h"
#include "wire/Pop3.h"

#include <functional>

namespace pelko {

class Pop3Mailbox : public ClientMailbox<TWirePOP3> {
public:

    void SignIn() override;
    Listing List(bool keepIds) override;
    bool FetchHeaders(int32_t number, TWireMessage& m) override { return client_.RetrieveHeaders(number, m); }
    bool FetchMessage(int32_t number, TWireMessage& m) override { return client_.RetrieveMessage(number, m); }
    bool Delete(int32_t number) override { return client_.DeleteMessage(number); }
    void Close() override;

    // The client itself (tests look at it).
    TWirePOP3& Client() { return client_; }

private:
};

// Sets pop up for account: its server and user, the mechanism, and the
// secret itself in Password (the password, the keyring's password, or a
// fresh token from the token command; see FetchLoginSecret). A login that
// would send a bearer token in clear is refused before any token is fetched.
void PrepareLogin(TWirePOP3& pop, const MailAccount& account, const std::function<void()>& idle);

} // namespace pelko
