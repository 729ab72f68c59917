// Page addresses are read the way browsers read them (WHATWG URL rules): what location.href
// holds is never refused, and the host is what the browser shows.

#include "extension/page_address.h"

#include <gtest/gtest.h>

#include <string>

namespace orlavine {
namespace {

std::optional<std::string> hostOf(const std::string& address) {
    return readPageAddress(address).host;
}

TEST(PageAddress, CharactersBrowsersKeepRawNeverLoseTheHost) {
    const char* addresses[] = {
        "https://www.example.com/search?q=a|b",
        "https://www.example.com/list?filter[type]=x&sort={name}",
        "https://www.example.com/a^b/`c`/?x=%&y=%zz#frag#more",
        "https://www.example.com/w/Ärger?q=日本語#überall",
        "https://www.example.com/path with spaces/\"quoted\"/<tag>",
        "https://www.example.com:8443/a\\b",
        "https://user:p@ss@www.example.com/",
        "https://www.example.com",
        "https://www.example.com?q",
        "https://www.example.com#f",
        "HTTPS://WWW.Example.COM/",
        "  https://www.example.com/\t\n",
    };
    for (const char* address : addresses) {
        const PageAddress page = readPageAddress(address);
        EXPECT_TRUE(page.valid) << address;
        EXPECT_EQ(page.host, "www.example.com") << address;
        EXPECT_EQ(page.text, address);
    }
}

TEST(PageAddress, RawCharactersArePercentEncodedForTheParser) {
    EXPECT_EQ(rfc3986Form("https://a.example/s?q=a|b&f[t]={x}^`"),
              "https://a.example/s?q=a%7Cb&f%5Bt%5D=%7Bx%7D%5E%60");
    EXPECT_EQ(rfc3986Form("https://a.example/%/%41#a#b"), "https://a.example/%25/%41#a%23b");
    EXPECT_EQ(rfc3986Form("https://a.example/é"), "https://a.example/%C3%A9");
    EXPECT_EQ(rfc3986Form("http:\\\\a.example\\x\\y?z\\w"), "http://a.example/x/y?z%5Cw");
    EXPECT_EQ(rfc3986Form("https:a.example"), "https://a.example");
    EXPECT_EQ(rfc3986Form("not a url"), std::nullopt);
    EXPECT_EQ(rfc3986Form(""), std::nullopt);
    EXPECT_EQ(rfc3986Form("1http://a/"), std::nullopt);
}

TEST(PageAddress, InternationalHostsArePunycodeLikeTheBrowserShowsThem) {
    EXPECT_EQ(hostOf("https://xn--bcher-kva.example/"), "xn--bcher-kva.example");
    EXPECT_EQ(hostOf("https://bücher.example/"), "xn--bcher-kva.example");
    EXPECT_EQ(hostOf("https://B%C3%BCcher.example/"), "xn--bcher-kva.example");
    EXPECT_EQ(hostOf("https://例え.jp/"), "xn--r8jz45g.jp");
    EXPECT_EQ(hostOf("https://www%2Droot.example/"), "www-root.example");
}

TEST(PageAddress, IpHosts) {
    EXPECT_EQ(hostOf("http://[::1]:8080/x?a|b"), "::1");
    EXPECT_EQ(hostOf("http://[2001:DB8:0:0:0:0:0:1]/"), "2001:db8::1");
    EXPECT_EQ(hostOf("http://[fe80::1%25eth0]/"), std::nullopt);
    EXPECT_EQ(hostOf("http://127.0.0.1:3000/{x}"), "127.0.0.1");
    EXPECT_EQ(hostOf("http://[::1/"), std::nullopt);
}

TEST(PageAddress, AddressesWithoutAHost) {
    for (const char* address :
         {"about:blank", "about:srcdoc", "data:text/html,<p>a|b</p>", "file:///home/a b/[x].html",
          "blob:https://a.example/1-2", "javascript:void(0)", "mailto:a@b.example"}) {
        const PageAddress page = readPageAddress(address);
        EXPECT_TRUE(page.valid) << address;
        EXPECT_EQ(page.host, std::nullopt) << address;
    }
    for (const char* address : {"", "not a url", "https://bad host.com/", "https://a|b.com/",
                                "https://a%25b.com/", "https:///"}) {
        EXPECT_EQ(readPageAddress(address).host, std::nullopt) << address;
    }
    EXPECT_FALSE(readPageAddress("not a url").valid);
    EXPECT_FALSE(readPageAddress("https://bad host.com/").valid);
}

TEST(PageAddress, LongAddressesUpToTheBrowserLimit) {
    const std::string address =
        "https://www.example.com/long?q=" + std::string(1536 * 1024, '|') + "#[frag]";
    const PageAddress page = readPageAddress(address);
    EXPECT_TRUE(page.valid);
    EXPECT_EQ(page.host, "www.example.com");
    EXPECT_EQ(page.matchText(), address);
}

TEST(PageAddress, FramesThePageWroteItself) {
    for (const char* frame :
         {"about:blank", "about:srcdoc", "about:blank#top", "about:blank?x", "about:srcdoc#a"}) {
        EXPECT_TRUE(isPageWrittenFrame(frame)) << frame;
    }
    for (const char* frame : {"about:blankx", "about:srcdocs", "https://a/about:blank",
                              "about:config", "ABOUT:BLANK"}) {
        EXPECT_FALSE(isPageWrittenFrame(frame)) << frame;
    }
}

}  // namespace
}  // namespace orlavine
