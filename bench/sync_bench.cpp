// Syncing a 20 MB library through a private Apache WebDAV server on loopback: the upload, a
// fetch, the first merge on a second machine, a remote merge after one edit, and the traffic of a
// poll that finds nothing new.
//
//   sync_bench [--reps N]     (needs apache2, apache2-utils and the www-data user)

#include <fmt/core.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/library_generator.h"
#include "model/record_json.h"
#include "sync/apache_server.h"
#include "sync/sync_account.h"
#include "sync/sync_machine.h"
#include "sync/webdav_record_store.h"

namespace {

using namespace orlavine;
using namespace orlavine::sync;
using Clock = std::chrono::steady_clock;
namespace st = orlavine::sync::testing;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::unique_ptr<WebDavRecordStore> connect(const st::ApacheServer& apache) {
    WebDavAccount account;
    account.folderURL = parseAccountAddress(apache.baseURL())->location;
    account.user = "bench";
    account.password = "bench";
    return std::make_unique<WebDavRecordStore>(account);
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--reps") == 0) {
            reps = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    if (auto why = st::ApacheServer::unavailable()) {
        fmt::print(stderr, "sync_bench: {}\n", *why);
        return 1;
    }
    const styleDatabase library = bench::generateLibrary();
    const std::size_t libraryBytes = encodeDatabase(library).size();
    std::vector<double> upload, fetch, first, remote;
    std::size_t idleSent = 0, idleReceived = 0, idleRequests = 0;
    for (int rep = 0; rep < reps; ++rep) {
        st::ApacheServer apache("bench", "bench");
        if (!apache.failure().empty()) {
            fmt::print(stderr, "sync_bench: {}\n", apache.failure());
            return 1;
        }
        auto linkA = connect(apache);
        auto linkB = connect(apache);
        st::Machine a(*linkA);
        st::Machine b(*linkB);
        (void)a.store->change([&](styleDatabase& db, LibraryChange& changed) {
            db = library;
            changed.everything = true;
            return true;
        });

        auto start = Clock::now();
        a.enableAndStart();  // empty cloud: encode and upload
        upload.push_back(millisecondsSince(start));

        auto reader = connect(apache);
        start = Clock::now();
        const FetchOutcome fetched = reader->fetch({kDatabaseRecord});
        fetch.push_back(millisecondsSince(start));
        if (!fetched.records || fetched.records->empty()) {
            fmt::print(stderr, "sync_bench: the fetch failed\n");
            return 1;
        }

        start = Clock::now();
        b.enableAndStart();  // fetch, decode, first merge, write the library
        first.push_back(millisecondsSince(start));

        const WebDavRecordStore::Traffic before = linkB->traffic();
        b.poll();  // nothing changed
        const WebDavRecordStore::Traffic after = linkB->traffic();
        idleRequests = after.requests - before.requests;
        idleSent = after.bytesSent - before.bytesSent;
        idleReceived = after.bytesReceived - before.bytesReceived;

        const std::int64_t id = a.store->snapshot().styles[7].uniqueID;
        a.edit(id, "edited for the benchmark", Date::now());
        start = Clock::now();
        b.poll();  // tags, fetch, decode, remote merge, write the library
        remote.push_back(millisecondsSince(start));
        if (b.description(id) != "edited for the benchmark") {
            fmt::print(stderr, "sync_bench: the edit did not arrive\n");
            for (auto* m : {&a, &b}) {
                for (const std::string& line : m->engine->takeEvents()) {
                    fmt::print(stderr, "  {}\n", line);
                }
            }
            return 1;
        }
    }
    fmt::print("library: {} styles, {:.1f} MB encoded; {} runs, medians\n", library.styles.size(),
               static_cast<double>(libraryBytes) / 1e6, reps);
    fmt::print("upload (empty cloud, encode + PUT + tag):     {:8.1f} ms\n", median(upload));
    fmt::print("fetch (GET of the library record):            {:8.1f} ms\n", median(fetch));
    fmt::print("first merge on a second machine (whole run):  {:8.1f} ms\n", median(first));
    fmt::print("remote merge after one edit (poll to merged): {:8.1f} ms\n", median(remote));
    fmt::print("poll with nothing new: {} requests, {} bytes sent, {} bytes received\n",
               idleRequests, idleSent, idleReceived);
    return 0;
}
