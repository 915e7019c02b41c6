#include "tunnel/OpenVPNProfileCompletion.h"

#include "tunnel/OpenVPNProfileFilter.h"

#include <gtest/gtest.h>

namespace {

// What is added to a filtered profile so OpenVPN 2.6 can talk to an older provider's server.
TEST(OpenVPNProfileCompletionTest, CipherIsNegotiableAndCompressionNeverSent) {
    const QByteArray defaults = OpenVPNProfileCompletion::kDefaultDataCiphers;
    const struct {
        QByteArray profile;
        QByteArray added;
    } cases[] = {
        {"client\n", "allow-compression asym\n"},
        {"cipher AES-256-CBC\n", "data-ciphers " + defaults +
                                     ":AES-256-CBC\ndata-ciphers-fallback AES-256-CBC\n"
                                     "allow-compression asym\n"},
        // The profile's own list, which replaces OpenVPN's, gains the cipher.
        {"data-ciphers AES-128-GCM\ncipher AES-128-CBC\nallow-compression no\n",
         "data-ciphers AES-128-GCM:AES-128-CBC\ndata-ciphers-fallback AES-128-CBC\n"},
        {"cipher aes-256-gcm\ndata-ciphers-fallback AES-256-CBC\nallow-compression asym\n", ""},
    };
    for (const auto& c : cases) {
        const QByteArray completed = OpenVPNProfileCompletion::completed(c.profile);
        EXPECT_EQ(completed, c.profile + c.added) << c.profile.data();
        // Whatever is added passes the launcher's byte-for-byte check.
        EXPECT_EQ(OpenVPNProfileFilter({}).filtered(completed), completed) << c.profile.data();
        EXPECT_EQ(OpenVPNProfileCompletion::completed(completed), completed) << c.profile.data();
    }
}

} // namespace
