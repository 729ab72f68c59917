// Less imports from an address, against a loopback HTTPS server, and offline from the kept copy.
#include "preprocess/less_imports.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "preprocess_fixture.h"
#include "support/loopback_https.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

// Answers every request with the same Less text, over HTTPS.
class LessServer {
  public:
    explicit LessServer(std::string body)
        : server_(std::make_unique<testing::LoopbackHttpsServer>()) {
        server_->server().Get(".*", [body](const httplib::Request&, httplib::Response& response) {
            response.set_content(body, "text/plain");
        });
        certificate_ = server_->certificateFile().string();
        base_ = server_->base();
    }
    void stop() { server_.reset(); }
    std::string url(const std::string& path) const { return base_ + path; }
    int requests() const { return server_->requests(); }
    DownloadOptions trusting() const {
        DownloadOptions options;
        options.certificateFile = certificate_;
        return options;
    }

  private:
    std::unique_ptr<testing::LoopbackHttpsServer> server_;
    std::string certificate_;
    std::string base_;
};

struct ImportingPreprocessor {
    testing::RecordingReporter reporter;
    testing::RecordingErrors errors;
    Downloader downloader;
    CachedHttpImports imports;
    StylePreprocessor preprocessor;

    ImportingPreprocessor(const std::filesystem::path& cache, const DownloadOptions& options)
        : downloader(options),
          imports(cache, downloader),
          preprocessor({&reporter, &errors, testing::builtScriptDirectory(), {}, &imports}) {}
};

styleContainer importing(const std::string& url) {
    return testing::styleWith(
        "less", {testing::section({"a.com"}, "@import \"" + url + "\";\na { .brand(); }")}, {});
}

TEST(LessImports, AnAddressIsFetchedOnceAndCompilesAgainOffline) {
    testing::TempDir cache;
    LessServer server(".brand() { color: rebeccapurple; }\n");
    ImportingPreprocessor t(cache.path(), server.trusting());
    auto style = importing(server.url("/lib/brand.less"));
    t.preprocessor.compileStyle(style);
    ASSERT_TRUE(t.errors.errors.empty()) << t.errors.errors[0].text;
    ASSERT_TRUE(style.styleData.compSections.has_value());
    EXPECT_NE(style.styleData.compSections->at(0).code.find("color: rebeccapurple;"),
              std::string::npos);
    EXPECT_EQ(server.requests(), 1);

    server.stop();
    auto offline = importing(server.url("/lib/brand.less"));
    t.preprocessor.compileStyle(offline);
    ASSERT_TRUE(t.errors.errors.empty()) << t.errors.errors[0].text;
    EXPECT_EQ(offline.styleData.compSections, style.styleData.compSections);

    // Without a kept copy, an unreachable address is a compilation error.
    testing::TempDir emptyCache;
    ImportingPreprocessor cold(emptyCache.path(), server.trusting());
    auto unreachable = importing(server.url("/lib/brand.less"));
    cold.preprocessor.compileStyle(unreachable);
    ASSERT_EQ(cold.errors.errors.size(), 1u);
    EXPECT_NE(cold.errors.errors[0].text.find("brand.less"), std::string::npos);
    EXPECT_FALSE(unreachable.styleData.compSections.has_value());
}

TEST(LessImports, OnlyWebAddressesAreFetched) {
    testing::TempDir cache;
    Downloader downloader;
    CachedHttpImports imports(cache.path(), downloader);
    EXPECT_FALSE(imports.fetch("file:///etc/passwd").has_value());
    EXPECT_FALSE(imports.fetch("ftp://127.0.0.1/x.less").has_value());
}

}  // namespace
}  // namespace orlavine
