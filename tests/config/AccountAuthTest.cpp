// How an account signs in, read from and written to its password line.
#include "config/AccountAuth.h"
#include "config/SettingsFile.h"

#include <gtest/gtest.h>

using namespace pelko;

TEST(AccountAuth, MarkersReadBackAndPlainPasswordsStayAsTheyWere)
{
    const struct {
        const char* field;
        SecretSource source;
        AuthMechanism mechanism;
        const char* password;
        const char* command;
    } rows[] = {
        {"hunter2", SecretSource::Password, AuthMechanism::Automatic, "hunter2", ""},
        {"{not ours}", SecretSource::Password, AuthMechanism::Automatic, "{not ours}", ""},
        {"{pelko:keyring", SecretSource::Password, AuthMechanism::Automatic, "{pelko:keyring", ""},
        {"{pelko:keyring}x", SecretSource::Password, AuthMechanism::Automatic, "{pelko:keyring}x", ""},
        {"{pelko:command}", SecretSource::Password, AuthMechanism::Automatic, "{pelko:command}", ""},
        {"{pelko:password:md5}x", SecretSource::Password, AuthMechanism::Automatic, "{pelko:password:md5}x", ""},
        {"{pelko:keyring}", SecretSource::Keyring, AuthMechanism::Automatic, "", ""},
        {"{pelko:keyring;:plain}", SecretSource::Keyring, AuthMechanism::Plain, "", ""},
        {"{pelko:command:oauthbearer}oauth2-token --user 'a b'", SecretSource::Command, AuthMechanism::OAuthBearer,
         "", "oauth2-token --user 'a b'"},
        {"{pelko:command}get-token", SecretSource::Command, AuthMechanism::Automatic, "", "get-token"},
        {"{pelko:password;:plain}s{e}cret", SecretSource::Password, AuthMechanism::Plain, "s{e}cret", ""},
        {"{pelko:password;}{pelko:keyring}", SecretSource::Password, AuthMechanism::Automatic, "{pelko:keyring}", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.field);
        EXPECT_TRUE(PasswordStorable(AccountAuthField(ReadAccountAuth(r.field)), nullptr));
        const AccountAuth a = ReadAccountAuth(r.field);
        EXPECT_EQ(a.source, r.source);
        EXPECT_EQ(a.mechanism, r.mechanism);
        EXPECT_EQ(a.password, r.password);
        EXPECT_EQ(a.command, r.command);
        EXPECT_EQ(AccountAuthField(a), r.field) << "written back byte for byte";
    }
    // A password that looks like a marker is written so that it reads back.
    AccountAuth tricky;
    tricky.password = "{pelko:keyring}";
    EXPECT_EQ(ReadAccountAuth(AccountAuthField(tricky)).password, "{pelko:keyring}");
}
