// Reply encoding in the browser host: a page's CSS written into the reply text and that text
// split into the parts the browser accepts (1 MiB each), against the straightforward way (a JSON
// document serialized by Boost.JSON, then each piece of the text serialized again). The CSS is
// what a page gets from the generated benchmark library; both ways must give the same parts.
// The host writes a long reply's parts straight from the CSS (OursFromPieces: the CSS escaped
// twice at once); those parts are cut elsewhere but must join into the same reply text.
// Run on a Release build: build/release/bench/reply_encoding_bench --benchmark_min_time=1

#include <benchmark/benchmark.h>

#include <boost/json.hpp>
#include <string>
#include <vector>

#include "bench/library_generator.h"
#include "extension/json_escape.h"
#include "extension/native_messaging.h"

namespace orlavine {
namespace {

// About `bytes` of CSS: the sections of the generated library one after the other, as a page
// that many styles apply to receives them.
std::string pageCSS(std::size_t bytes) {
    static const styleDatabase library = bench::generateLibrary();
    std::string css;
    for (const styleContainer& style : library.styles) {
        for (const styleSection& section : style.styleData.sections) {
            css += section.code;
            css += '\n';
            if (css.size() >= bytes) {
                return css;
            }
        }
    }
    return css;
}

// Into a buffer kept between replies, as the host does.
void ourReply(const std::string& css, std::string& text) {
    text = R"({"id":7,"messages":[{"name":"returnCSS","userInfo":{"css":)";
    appendJsonString(text, css);
    text += "}}]}";
}

std::string boostReply(const std::string& css) {
    boost::json::object info{{"css", css}};
    boost::json::array messages{boost::json::object{{"name", "returnCSS"}, {"userInfo", info}}};
    return boost::json::serialize(boost::json::object{{"id", 7}, {"messages", messages}});
}

// The way the host split replies before: character by character, each piece serialized again.
std::vector<std::string> boostParts(std::string_view reply) {
    const std::size_t budget = kMaxMessageToBrowser - 96;
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    std::size_t escaped = 0;
    for (std::size_t i = 0; i < reply.size();) {
        const auto c = static_cast<unsigned char>(reply[i]);
        std::size_t cost = 1;
        std::size_t span = 1;
        if (c < 0x80) {
            cost = c == '"' || c == '\\' ? 2 : c < 0x20 ? 6 : 1;
        } else {
            span = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
            span = std::min(span, reply.size() - i);
            cost = span;
        }
        if (escaped + cost > budget) {
            pieces.push_back(reply.substr(start, i - start));
            start = i;
            escaped = 0;
        }
        escaped += cost;
        i += span;
    }
    pieces.push_back(reply.substr(start));
    std::vector<std::string> parts;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        parts.push_back("{\"id\":7,\"part\":" + std::to_string(i) +
                        ",\"parts\":" + std::to_string(pieces.size()) + ",\"data\":" +
                        boost::json::serialize(boost::json::string_view(pieces[i])) + "}");
    }
    return parts;
}

const std::string kReplyStart = R"({"id":7,"messages":[{"name":"returnCSS","userInfo":{"css":")";
const std::string kReplyEnd = R"("}}]})";

// What the host does: the reply text when the CSS is short enough to fit, else the parts
// straight from the CSS.
std::vector<std::string_view> replyFromPieces(const std::string& css, std::string& text,
                                              std::string& buffer) {
    const ReplyPiece pieces[] = {{kReplyStart, false}, {css, true}, {kReplyEnd, false}};
    if (kReplyStart.size() + css.size() + kReplyEnd.size() <= kMaxMessageToBrowser) {
        text.reserve(css.size() + css.size() / 8 + 64);
        text = kReplyStart;
        appendEscapedWithin(text, css, SIZE_MAX);
        text += kReplyEnd;
        if (text.size() <= kMaxMessageToBrowser) {
            return {text};
        }
    }
    return framedReplyParts(7, pieces, kMaxMessageToBrowser, buffer);
}

// The parts' data joined, which the extension parses as the reply.
std::string joinedParts(const std::vector<std::string_view>& frames) {
    std::string joined;
    for (std::string_view frame : frames) {
        const auto part = boost::json::parse(frame.substr(4)).as_object();
        joined += part.at("data").as_string();
    }
    return joined;
}

void check(const std::string& css, benchmark::State& state) {
    std::string ours;
    ourReply(css, ours);
    if (ours != boostReply(css)) {
        state.SkipWithError("the reply texts differ");
        return;
    }
    std::string buffer;
    const auto framed = framedReplyParts(7, ours, kMaxMessageToBrowser, buffer);
    const auto reference = boostParts(ours);
    bool same = framed.size() == reference.size();
    for (std::size_t i = 0; same && i < framed.size(); ++i) {
        same = framed[i].substr(4) == reference[i];
    }
    if (!same) {
        state.SkipWithError("the parts differ");
    }
    std::string text;
    std::string pieceBuffer;
    const auto fromPieces = replyFromPieces(css, text, pieceBuffer);
    if (ours.size() > kMaxMessageToBrowser && joinedParts(fromPieces) != ours) {
        state.SkipWithError("the parts written from pieces do not join into the reply");
    }
}

void OursFromPieces(benchmark::State& state) {
    const std::string css = pageCSS(static_cast<std::size_t>(state.range(0)));
    check(css, state);
    std::string text;
    std::string buffer;
    for (auto _ : state) {
        benchmark::DoNotOptimize(replyFromPieces(css, text, buffer));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * css.size()));
}

void Ours(benchmark::State& state) {
    const std::string css = pageCSS(static_cast<std::size_t>(state.range(0)));
    check(css, state);
    std::string buffer;
    std::string reply;
    for (auto _ : state) {
        ourReply(css, reply);
        if (reply.size() > kMaxMessageToBrowser) {
            benchmark::DoNotOptimize(framedReplyParts(7, reply, kMaxMessageToBrowser, buffer));
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * css.size()));
    state.counters["css_bytes"] = static_cast<double>(css.size());
}

// The reply text alone, without the split.
void OursReplyText(benchmark::State& state) {
    const std::string css = pageCSS(static_cast<std::size_t>(state.range(0)));
    std::string reply;
    for (auto _ : state) {
        ourReply(css, reply);
        benchmark::DoNotOptimize(reply.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * css.size()));
}

void Straightforward(benchmark::State& state) {
    const std::string css = pageCSS(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        const std::string reply = boostReply(css);
        if (reply.size() > kMaxMessageToBrowser) {
            benchmark::DoNotOptimize(boostParts(reply));
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * css.size()));
}

BENCHMARK(Ours)->Arg(100 << 10)->Arg(4 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(OursReplyText)->Arg(4 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(OursFromPieces)->Arg(100 << 10)->Arg(4 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(Straightforward)->Arg(100 << 10)->Arg(4 << 20)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace orlavine

BENCHMARK_MAIN();
