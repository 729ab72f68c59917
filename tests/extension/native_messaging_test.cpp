#include "extension/native_messaging.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <boost/json.hpp>
#include <cstring>
#include <thread>

namespace orlavine {
namespace {

// A pipe whose ends close with the object.
struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(::pipe(fds), 0); }
    ~Pipe() {
        for (int fd : fds) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    void closeWriteEnd() {
        ::close(fds[1]);
        fds[1] = -1;
    }
};

void writeFrame(int fd, std::string_view body, std::uint32_t declared) {
    ASSERT_EQ(::write(fd, &declared, sizeof declared), static_cast<ssize_t>(sizeof declared));
    ASSERT_EQ(::write(fd, body.data(), body.size()), static_cast<ssize_t>(body.size()));
}

TEST(NativeMessaging, FramesRoundTripAndOversizedFramesAreSkipped) {
    Pipe pipe;
    std::thread writer([&] {
        FrameWriter out(pipe.fds[1]);
        EXPECT_TRUE(out.write(R"({"id":1})").ok());
        // A frame over the reader's limit, then a normal one: the reader must stay in step.
        writeFrame(pipe.fds[1], std::string(5000, 'x'), 5000);
        EXPECT_TRUE(out.write(R"({"id":2})").ok());
        // A frame that claims more bytes than ever arrive.
        writeFrame(pipe.fds[1], "{}", 100);
        pipe.closeWriteEnd();
    });
    FrameReader in(pipe.fds[0], 1000);
    IncomingFrame first = in.next();
    EXPECT_EQ(first.kind, IncomingFrame::Kind::message);
    EXPECT_EQ(first.text, R"({"id":1})");
    IncomingFrame big = in.next();
    EXPECT_EQ(big.kind, IncomingFrame::Kind::oversized);
    EXPECT_EQ(big.declaredLength, 5000u);
    // Its beginning is kept, so that the request's id can still be answered.
    EXPECT_EQ(big.text, std::string(kOversizedPrefix, 'x'));
    EXPECT_EQ(in.next().text, R"({"id":2})");
    EXPECT_EQ(in.next().kind, IncomingFrame::Kind::endOfStream);
    writer.join();
}

TEST(NativeMessaging, LongRepliesSplitIntoPartsThatJoinBack) {
    // CSS with quotes, backslashes, control characters and multi-byte characters, which grow
    // when escaped a second time inside a part.
    std::string css;
    for (int i = 0; i < 40000; ++i) {
        css += "a[title=\"\\\"é€𝄞\"] { content: \"\t\x01\" }\n";
    }
    boost::json::object reply{{"id", 7}, {"css", css}};
    const std::string text = boost::json::serialize(reply);
    ASSERT_GT(text.size(), kMaxMessageToBrowser);

    // The same reply given with the CSS as a value to escape, straight into the parts.
    const std::string prefix = R"({"id":7,"css":")";
    const ReplyPiece pieces[] = {{prefix, false}, {css, true}, {"\"}", false}};
    std::string buffer;
    std::vector<std::string> fromPieces;
    for (std::string_view frame : framedReplyParts(7, pieces, kMaxMessageToBrowser, buffer)) {
        fromPieces.emplace_back(frame.substr(sizeof(std::uint32_t)));
    }
    for (const auto& parts : {splitReply(7, text, kMaxMessageToBrowser), fromPieces}) {
        ASSERT_GT(parts.size(), 1u);
        std::string joined;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            EXPECT_LE(parts[i].size(), kMaxMessageToBrowser);
            const auto part = boost::json::parse(parts[i]).as_object();  // each part is valid JSON
            EXPECT_EQ(part.at("id").as_int64(), 7);
            EXPECT_EQ(part.at("part").as_int64(), static_cast<std::int64_t>(i));
            EXPECT_EQ(part.at("parts").as_int64(), static_cast<std::int64_t>(parts.size()));
            joined += part.at("data").as_string();
        }
        EXPECT_EQ(joined, text);
        EXPECT_EQ(boost::json::parse(joined).as_object().at("css").as_string(), css);
    }
}

// A reply given in pieces that fits goes as one message, the value escaped in it.
TEST(NativeMessaging, ShortRepliesInPiecesGoWhole) {
    Pipe pipe;
    std::thread writer([&] {
        FrameWriter out(pipe.fds[1]);
        const ReplyPiece pieces[] = {
            {R"({"id":3,"css":")", false}, {"a{content:\"\\\"}\n", true}, {R"("})", false}};
        EXPECT_TRUE(out.writeReply(3, pieces).ok());
        pipe.closeWriteEnd();
    });
    FrameReader in(pipe.fds[0]);
    EXPECT_EQ(boost::json::parse(in.next().text).as_object().at("css").as_string(),
              "a{content:\"\\\"}\n");
    EXPECT_EQ(in.next().kind, IncomingFrame::Kind::endOfStream);
    writer.join();
}

TEST(NativeMessaging, WriterRefusesMessagesOverTheBrowserLimit) {
    Pipe pipe;
    FrameWriter out(pipe.fds[1]);
    EXPECT_FALSE(out.write(std::string(kMaxMessageToBrowser + 1, ' ')).ok());
}

}  // namespace
}  // namespace orlavine
