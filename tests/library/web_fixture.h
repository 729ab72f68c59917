#pragma once
// A library whose services download from a loopback HTTPS server that serves documents the test
// puts there.

#include <boost/json/serialize.hpp>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "library/library_fixture.h"
#include "library/update_check.h"
#include "model/config.h"
#include "model/record_json.h"
#include "net/web_download.h"
#include "support/loopback_https.h"

namespace orlavine::testing {

class WebLibrary : public LibraryFixture {
  public:
    WebLibrary() {
        settings.app.set(kCatalogueHostKey, boost::json::value(web.hostPort()));
        DownloadOptions options;
        options.certificateFile = web.certificateFile().string();
        options.limits.totalTimeout = std::chrono::seconds(5);
        options.limits.stallTimeout = std::chrono::seconds(1);
        options.limits.maxBytes = std::size_t{1} << 20;
        options.limits.firstRetryWait = std::chrono::milliseconds(10);
        downloader = std::make_unique<Downloader>(options);
        web.server().Get(".*",
                         [this](const httplib::Request& request, httplib::Response& response) {
                             std::string body;
                             {
                                 std::unique_lock lock(mutex_);
                                 ++requests_;
                                 changed_.notify_all();
                                 changed_.wait(lock, [this] { return !held_; });
                                 auto found = documents_.find(request.path);
                                 if (found == documents_.end()) {
                                     response.status = 404;
                                     return;
                                 }
                                 body = found->second;
                             }
                             response.set_content(body, "text/css");
                         });
    }
    ~WebLibrary() { releaseAnswers(); }

    void serve(const std::string& path, std::string body) {
        std::lock_guard lock(mutex_);
        documents_[path] = std::move(body);
    }
    void serveCatalogueStyle(std::int64_t number, const styleJSON& record) {
        serve("/styles/chrome/" + std::to_string(number) + ".json",
              boost::json::serialize(styleJSONToJson(record)));
    }
    // Answers wait until released, so a test can act while a download is in flight.
    void holdAnswers() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    void releaseAnswers() {
        std::lock_guard lock(mutex_);
        held_ = false;
        changed_.notify_all();
    }
    int requestCount() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    // Blocks until the server has received `count` requests in all.
    void waitForRequests(int count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return requests_ >= count; });
    }
    // Style files come from 127.0.0.1, the catalogue answers as "localhost": the same server
    // under two host names.
    std::string url(const std::string& path) const {
        return "https://127.0.0.1:" + std::to_string(web.port()) + path;
    }
    std::string catalogueURL(const std::string& path) const { return web.base() + path; }

    LibraryServices webServices() {
        LibraryServices s = services();
        s.downloader = downloader.get();
        return s;
    }
    UpdateContext updateContext() {
        UpdateContext context;
        context.store = store.get();
        context.downloader = downloader.get();
        context.catalogueHost = web.hostPort();
        context.console = &reporter;
        return context;
    }
    std::vector<std::string> alertTitles() const {
        std::vector<std::string> titles;
        for (const auto& alert : reporter.alerts) {
            titles.push_back(alert.first);
        }
        return titles;
    }

  private:
    // Before the server, so that they outlive the requests it is still answering.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, std::string> documents_;
    bool held_ = false;
    int requests_ = 0;

  public:
    LoopbackHttpsServer web;
    std::unique_ptr<Downloader> downloader;
};

// A catalogue record with one section.
inline styleJSON catalogueRecord(const std::string& name, const std::string& md5,
                                 const std::string& code = "body { color: red }") {
    styleJSON record;
    record.name = name;
    record.originalMd5 = md5;
    styleSection section;
    section.domains = {"example.com"};
    section.code = code;
    record.sections.push_back(section);
    return record;
}

}  // namespace orlavine::testing
