// The catalogue's address forms.

#include <gtest/gtest.h>

#include "formats/catalogue_address.h"

namespace orlavine {
namespace {

TEST(CatalogueAddress, StylePagesGiveTheirNumberAndJSONAddress) {
    const char* host = "userstyles.org";
    EXPECT_EQ(catalogueStyleID("https://www.userstyles.org/styles/12345/dark-theme", host), 12345);
    EXPECT_EQ(catalogueJSONURL("https://www.userstyles.org/styles/12345/dark-theme", host),
              "https://userstyles.org/styles/chrome/12345.json");
    EXPECT_EQ(catalogueJSONURL("http://userstyles.org/styles/7", host),
              "https://userstyles.org/styles/chrome/7.json");
    // The JSON form is used as it is.
    EXPECT_EQ(catalogueJSONURL("https://userstyles.org/styles/chrome/777.json", host),
              "https://userstyles.org/styles/chrome/777.json");
    EXPECT_EQ(catalogueStyleID("https://userstyles.org/styles/chrome/777.json", host), 777);
    // A run of digits too long for a number is passed over for the next one.
    EXPECT_EQ(catalogueStyleID("https://userstyles.org/styles/99999999999999999999999/x-5", host),
              5);
}

TEST(CatalogueAddress, OtherAddressesAreNotCatalogueStyles) {
    const char* host = "userstyles.org";
    for (const char* address :
         {"https://userstyles.org/", "https://userstyles.org/users/12",
          "HTTPS://userstyles.org/styles/1", "https://userstyles.org.evil.example/styles/1",
          "https://a.example/styles/1", "ftp://userstyles.org/styles/1", ""}) {
        EXPECT_EQ(catalogueStyleID(address, host), -1) << address;
        EXPECT_EQ(catalogueJSONURL(address, host), "") << address;
    }
    EXPECT_EQ(catalogueJSONURL("https://userstyles.org/styles/dark-theme", host), "");
}

TEST(CatalogueAddress, DigitsInTheHostAreNotTheStyleNumber) {
    EXPECT_EQ(catalogueStyleID("https://localhost:8443/styles/31/x", "localhost:8443"), 31);
    EXPECT_EQ(catalogueJSONURL("https://www.styles2.example/styles/31", "styles2.example"),
              "https://styles2.example/styles/chrome/31.json");
}

}  // namespace
}  // namespace orlavine
