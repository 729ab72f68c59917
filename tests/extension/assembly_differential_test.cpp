// Random libraries and addresses: the compiled library, with its indexes and literal filters,
// must give exactly what the direct walk over every style and rule gives, also when the host
// reads it from a file and leaves the code there until pages need it.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "extension/cached_library.h"
#include "extension/page_css.h"
#include "model/paths.h"
#include "model/record_json.h"
#include "support/test_support.h"
#include "support/uncached_assembly.h"

namespace orlavine {
namespace {

class RandomLibrary {
  public:
    explicit RandomLibrary(unsigned seed) : random_(seed) {}

    styleDatabase library() {
        styleDatabase db;
        const int styles = between(1, 12);
        for (int i = 0; i < styles; ++i) {
            styleContainer style;
            style.uniqueID = i;
            style.styleData.name = "s" + std::to_string(i);
            style.isEnabled = chance(0.9);
            const int sections = between(0, 4);
            for (int j = 0; j < sections; ++j) {
                style.styleData.sections.push_back(section());
            }
            if (chance(0.2)) {
                style.preprocessor = pick({"less", "stylus", "default"});
                style.styleData.compSections = std::vector<styleSection>{section()};
            }
            if (chance(0.5)) {
                style.allowIframe = chance(0.5);
            }
            if (chance(0.3)) {
                style.systemTheme = pick({"dark", "light", "none"});
            }
            if (chance(0.3)) {
                style.exclURL = list([&] { return address(); });
                style.exclDomain = list([&] { return host(); });
                style.exclPrefix = list([&] { return address().substr(0, between(0, 14)); });
                style.exclRegExp = list([&] { return pattern(); });
            }
            db.styles.push_back(std::move(style));
        }
        return db;
    }

    std::string address() {
        switch (between(0, 9)) {
            case 0:
                return pick({"about:blank", "", "not a url", "\xff\xfe", "https://a.com/\xc3"});
            case 1:
                return address() + "/";
            default:
                return pick({"https://", "http://", "HTTPS://"}) + host() +
                       pick({"", "/", "/x", "/x/", "/docs/a?q=1", "/%41a", "/aaaa/b#c"});
        }
    }

  private:
    styleSection section() {
        styleSection s;
        // Texts that are empty or not in every way a quick look at the stored form may judge.
        s.code = pick({"a{}", "b { color: red }", "/* c */", "", "/* a */\n/* b */",
                       "@namespace x;", "/* a */ c{} /* b */", " \t/* a */ @media x { b{} }",
                       "@namespace x;\nb{}", "@name", "/* open", "\xc2\xa0/* nbsp */",
                       "\\/* a */ b{}", "/ a{}", "/* \"q\" */\r\n", "\"quoted\" {}"});
        if (chance(0.2)) {
            s.compiledcode = pick({"compiled{}", " "});
        }
        if (chance(0.15)) {
            return s;  // applies everywhere
        }
        s.urls = list([&] { return address(); });
        s.domains = list([&] { return host(); });
        s.urlPrefixes = list([&] { return address().substr(0, between(0, 20)); });
        s.regexps = list([&] { return pattern(); });
        return s;
    }

    std::string host() {
        return pick({"a.com", "www.a.com", "A.COM", "b.org", "ample.com", "example.com", "com", "",
                     "[::1]", "xn--bcher-kva.de"});
    }

    // Pieces chosen to exercise the literal filters: literals, escapes, optional and repeated
    // characters, groups, classes, anchors and top-level alternation.
    std::string pattern() {
        static const std::vector<std::string> pieces = {
            "https?://", "(www\\.)?", "a\\.com", "example\\.com",
            ".*",        "/x",        "/",       "[a-z]+",
            "\\d*",      "(x|y)",     "b+",      "c?",
            "$",         "^",         "|",       "aaaa",
            "docs",      "\\/",       "(?:a)?",  "x{0,2}",
            "x{2}",      "\\w+",      "[^]",     "(?=h)",
            "\\u0061",   "(",         "ample",   "a\\.co",
            "m/",        "#c",        "\\?q=1",  "(.*)",
            "\\.",       "q",         "=1"};
        std::string out;
        const int count = between(1, 6);
        for (int i = 0; i < count; ++i) {
            out +=
                pieces[static_cast<std::size_t>(between(0, static_cast<int>(pieces.size()) - 1))];
        }
        return out;
    }

    template <class Make>
    std::vector<std::string> list(Make make) {
        std::vector<std::string> out;
        if (chance(0.6)) {
            return out;
        }
        const int count = between(1, 3);
        for (int i = 0; i < count; ++i) {
            out.push_back(make());
        }
        return out;
    }

    std::string pick(std::initializer_list<const char*> options) {
        return *(options.begin() + between(0, static_cast<int>(options.size()) - 1));
    }
    int between(int low, int high) { return std::uniform_int_distribution<>(low, high)(random_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(random_); }

    std::mt19937 random_;
};

TEST(PageCssDifferential, CompiledLibraryAgreesWithTheDirectWalk) {
    int nonEmpty = 0;
    testing::TempDir folder;
    testing::QuietReporter reporter;
    for (unsigned seed = 1; seed <= 200; ++seed) {
        RandomLibrary random(seed);
        const styleDatabase db = random.library();
        const auto compiled = CompiledLibrary::build(db);
        // The file has the library as written: text that is not UTF-8 is replaced.
        const std::string stored = encodeDatabase(db);
        const styleDatabase read = decodeDatabase(stored).value();
        testing::writeText(folder.path() / kDatabaseFileName, stored);
        CachedLibrary host(folder.path(), reporter);
        const auto fromFile = host.current();
        std::filesystem::remove(folder.path() / kDatabaseFileName);  // the code stays readable
        for (int i = 0; i < 25; ++i) {
            const std::string address = random.address();
            for (bool frame : {false, true}) {
                const std::string css = compiled->pageCSS(address, frame);
                ASSERT_EQ(css, uncachedPageCSS(db, address, frame))
                    << "seed " << seed << " address " << address << " frame " << frame;
                ASSERT_EQ(fromFile->pageCSS(address, frame), uncachedPageCSS(read, address, frame))
                    << "seed " << seed << " address " << address << " frame " << frame;
                nonEmpty += css.empty() ? 0 : 1;
            }
            ASSERT_EQ(compiled->activeStyles(address), uncachedActiveStyles(db, address))
                << "seed " << seed << " address " << address;
            ASSERT_EQ(fromFile->activeStyles(address), uncachedActiveStyles(read, address));
        }
    }
    EXPECT_GT(nonEmpty, 700);  // the cases are not all trivially empty
}

}  // namespace
}  // namespace orlavine
