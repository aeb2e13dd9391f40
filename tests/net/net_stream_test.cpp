#include <gtest/gtest.h>

#include "net/net_exceptions.h"
#include "net/net_stream.h"

using namespace corvane::net;

namespace {

TEST(NetStream, MemoryStreamWritesExtendAndReadsStopAtTheEnd) {
    TNetMemoryStream s;
    s.Write("hello", 5);
    s.SetPosition(3);
    s.Write("LOWORLD", 7);
    EXPECT_EQ(s.Text(), "helLOWORLD");
    s.SetPosition(12);  // beyond the end: the gap fills with zeros
    s.Write("!", 1);
    EXPECT_EQ(s.Text(), std::string("helLOWORLD\0\0!", 13));
    s.SetPosition(8);
    char b[10];
    EXPECT_EQ(s.Read(b, 10), 5u);
    EXPECT_EQ(s.Read(b, 10), 0u);
    s.SetSize(4);
    EXPECT_EQ(s.Position(), 4);
}

TEST(NetStream, ResizeKeepingPosition) {
    TNetMemoryStream s(std::string("abcdef"));
    s.SetPosition(5);
    ResizeKeepingPosition(s, 2);
    EXPECT_EQ(s.Size(), 2);
    EXPECT_EQ(s.Position(), 5);
    ResizeKeepingPosition(s, 100);
    EXPECT_EQ(s.Size(), 100);
    EXPECT_EQ(s.Position(), 5);
}

TEST(NetStream, BufferAsQueue) {
    TNetBuffer b;
    b.Append("0123456789");
    b.Remove(3);
    EXPECT_EQ(b.View(), "3456789");
    EXPECT_THROW(b.Remove(8), ENetNotEnoughDataInBuffer);
    EXPECT_EQ(b.View(), "3456789");  // unchanged
    b.Remove(7);                     // exactly all
    EXPECT_TRUE(b.Empty());
    // Many small removals interleaved with appends keep the order.
    std::string expected;
    for (int i = 0; i < 20000; ++i) {
        const std::string piece = std::to_string(i) + ";";
        b.Append(piece);
        expected += piece;
        if (i % 3 == 0) {
            b.Remove(2);
            expected.erase(0, 2);
        }
    }
    EXPECT_EQ(b.View(), expected);
}

TEST(NetStream, BufferAsStream) {
    TNetBuffer b;
    b.Append("abcdef");
    b.SetPosition(4);
    b.Remove(2);  // the position follows the front
    EXPECT_EQ(b.Position(), 2);
    b.Write("XYZ", 3);
    EXPECT_EQ(b.View(), "cdXYZ");
    b.SetPosition(0);
    char out[3];
    EXPECT_EQ(b.Read(out, 3), 3u);
    EXPECT_EQ(std::string(out, 3), "cdX");
}

TEST(NetStream, FileStreamIsReadOnly) {
    EXPECT_THROW(TNetFileStream("/nonexistent/file"), ENetException);
    TNetFileStream f("/proc/self/cmdline");
    EXPECT_THROW(f.Write("x", 1), ENetException);
}

}  // namespace
