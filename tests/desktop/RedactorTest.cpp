#include "desktop/Redactor.h"

#include <gtest/gtest.h>

struct RedactionCase {
    const char* name;
    const char* line;
    const char* secret;
};

class RedactorTest : public ::testing::TestWithParam<RedactionCase> {};

TEST_P(RedactorTest, SecretIsGoneAndTheRestStays) {
    const QString out = Redactor().redact(QString::fromUtf8(GetParam().line));
    EXPECT_FALSE(out.contains(QString::fromUtf8(GetParam().secret))) << qPrintable(out);
    EXPECT_TRUE(out.contains(QLatin1String(Redactor::kMark))) << qPrintable(out);
    EXPECT_TRUE(out.startsWith(QString::fromUtf8(GetParam().line).left(4))) << qPrintable(out);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RedactorTest,
    ::testing::Values(
        RedactionCase{"FormField", "POST /v1/app_session_key email=a@b.c&password=Hunter2x&x=1",
                      "Hunter2x"},
        RedactionCase{"Csrf", "csrfmiddlewaretoken=AbC123tok&server_protocol=IKEV2", "AbC123tok"},
        RedactionCase{"JsonQuotedWithEscape", R"(reply {"vpn_password": "p\"w0rd-9", "ok": 1})",
                      R"(w0rd-9)"},
        RedactionCase{"CookieHeader", "Cookie: sessionid=s3ss10n; csrftoken=t0k3n", "s3ss10n"},
        RedactionCase{
            "AppleScript",
            R"(do shell script "x" user name "adm" password "Adm1n Pass!" with administrator privileges)",
            "Adm1n Pass!"},
        RedactionCase{"SessionId", "init session sessionId: 7f3a9c1e", "7f3a9c1e"},
        RedactionCase{"Arrow", "csrf ===> Zq81tokenValue", "Zq81tokenValue"},
        RedactionCase{"Psk", "PSK_KEY=sharedkey99", "sharedkey99"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RedactorKnownSecrets, LiteralSecretsGoAnywhereInTheText) {
    const Redactor redactor({QStringLiteral("vpn-Secret-42"), QStringLiteral("ab")});
    const QString out = redactor.redact(QStringLiteral("openvpn auth vpn-Secret-42 for ab user"));
    EXPECT_EQ(out, QStringLiteral("openvpn auth <redacted> for ab user"))
        << "a two-letter value is not blanked out everywhere";
}

TEST(RedactorKnownSecrets, OrdinaryLinesAreUntouched) {
    const QString line = QStringLiteral("연결됨 vpnStateChanged; Timer - Main Server Failed Timer");
    EXPECT_EQ(Redactor().redact(line), line);
}
