#pragma once
// What a mailbox over one protocol client does the same whatever the
// protocol: it keeps the account, hands the client's reports on, and passes
// the time-out, the connection state and the call-off through.
#include "session/Mailbox.h"
#include "wire/Wire.h"

#include <cstdint>
#include <string>

namespace pelko {

template <class Client>
class ClientMailbox : public Mailbox {
public:
    ClientMailbox()
    {
        client_.OnStatus = [this](TWire*, const std::string& text) { Report(text); };
        client_.OnWork = [this](TWire*, int32_t, int32_t) { Work(); };
        client_.OnIdle = [this] { Work(); };
        client_.TrustedCertificate = [this](const std::string& host, uint16_t port) {
            return TrustedCertificate ? TrustedCertificate(host, port) : std::string();
        };
    }
    ~ClientMailbox() override
    {
        client_.OnStatus = nullptr;
        client_.OnWork = nullptr;
        client_.OnIdle = nullptr;
    }

    void SetAccount(const MailAccount& account) override { account_ = account; }
    void SetTimeout(int ms) override { client_.Timeout = ms; }
    bool Connected() const override { return client_.Connected(); }
    std::string LastReply() const override { return client_.ResultText; }
    void Abort() override { client_.Abort(); }
    void Cancel() override { client_.Cancel(); }
    bool Cancelled() const override { return client_.Cancelled(); }
    void ClearCancel() override { client_.ClearCancel(); }

protected:
    MailAccount account_;
    Client client_;
};

} // namespace pelko
