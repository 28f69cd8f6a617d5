#pragma once
// The mailbox over POP3: TWirePOP3 underneath.
#include "session/Mailbox.h"
#include "wire/Pop3.h"

#include <functional>

namespace pelko {

class Pop3Mailbox : public Mailbox {
public:
    Pop3Mailbox();
    ~Pop3Mailbox() override;

    void SetAccount(const MailAccount& account) override { account_ = account; }
    void SetTimeout(int ms) override { client_.Timeout = ms; }
    void SignIn() override;
    bool Connected() const override { return client_.Connected(); }
    Listing List(bool keepIds) override;
    bool FetchHeaders(int32_t number, TWireMessage& m) override { return client_.RetrieveHeaders(number, m); }
    bool FetchMessage(int32_t number, TWireMessage& m) override { return client_.RetrieveMessage(number, m); }
    bool Delete(int32_t number) override { return client_.DeleteMessage(number); }
    std::string LastReply() const override { return client_.ResultText; }
    void Close() override;
    void Abort() override { client_.Abort(); }
    void Cancel() override { client_.Cancel(); }
    bool Cancelled() const override { return client_.Cancelled(); }
    void ClearCancel() override { client_.ClearCancel(); }

    // The client itself (tests look at it).
    TWirePOP3& Client() { return client_; }

private:
    MailAccount account_;
    TWirePOP3 client_;
};

// Sets pop up for account: its server and user, the mechanism, and the
// secret itself in Password (the password, the keyring's password, or a
// fresh token from the token command; see FetchLoginSecret). A login that
// would send a bearer token in clear is refused before any token is fetched.
void PrepareLogin(TWirePOP3& pop, const MailAccount& account, const std::function<void()>& idle);

} // namespace pelko
