// The buffered writer of the response file: what reaches the file when, and
// failures as exceptions that Close never lets out.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "archive/BufferedStream.h"

#include <string>

using namespace sorvane;

namespace {

LONGLONG fileSize(HANDLE file)
{
    LARGE_INTEGER size = {};
    ::GetFileSizeEx(file, &size);
    return size.QuadPart;
}

class StreamFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
    }
    void TearDown() override { ::CloseHandle(file); }
    test::TempFolder folder;
    std::wstring path = folder / L"stream.bin";
    HANDLE file = INVALID_HANDLE_VALUE;
};

TEST_F(StreamFile, LargeWritesGoStraightThroughInWholeBuffers)
{
    std::string data(10000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    CBufferedFileStream stream(file);
    stream.Write(data.data(), data.size());
    EXPECT_EQ(fileSize(file), 8192) << "4096 flushed from the buffer, 4096 written directly";
    EXPECT_EQ(stream.buffered(), 1808u);
    EXPECT_TRUE(stream.Close());
    EXPECT_EQ(fileSize(file), 10000);
    ::CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    EXPECT_EQ(test::readBytes(path), data) << "in the order given";
}

TEST_F(StreamFile, TextOfOneBufferFillsItWithoutWriting)
{
    const std::string text(4096, 'x');
    CBufferedFileStream stream(file);
    stream.WriteText(text.c_str());
    EXPECT_EQ(fileSize(file), 0);
    EXPECT_EQ(stream.buffered(), 4096u);
    stream.WriteText("y");
    EXPECT_EQ(fileSize(file), 4096) << "a text that does not fit flushes first";
    EXPECT_EQ(stream.buffered(), 1u);
    stream.Write("", 0);
    EXPECT_EQ(stream.buffered(), 1u);
}

TEST_F(StreamFile, EmptyCloseWritesNothing)
{
    CBufferedFileStream stream(file);
    EXPECT_TRUE(stream.Close());
    EXPECT_EQ(fileSize(file), 0);
    EXPECT_TRUE(stream.Close()) << "closing twice is harmless";
}

TEST(StreamFailure, RefusedWritesThrowAndCloseDoesNot)
{
    test::TempFolder folder;
    ASSERT_TRUE(test::writeBytes(folder / L"ro.bin", "x"));
    HANDLE readOnly = ::CreateFileW((folder / L"ro.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    {
        CBufferedFileStream stream(readOnly);
        stream.WriteText("buffered only");
        unsigned cause = 0;
        try {
            stream.Flush();
        } catch (CMyArchiveException* failure) {
            cause = failure->cause();
            delete failure;
        }
        EXPECT_EQ(cause, 4u);
        stream.WriteText("more");
        EXPECT_FALSE(stream.Close()) << "the lost bytes are reported, not thrown";
    }
    {
        CBufferedFileStream stream(readOnly);
        const std::string big(9000, 'z');
        bool thrown = false;
        try {
            stream.Write(big.data(), big.size());
        } catch (CMyArchiveException* failure) {
            thrown = failure->cause() == 4;
            delete failure;
        }
        EXPECT_TRUE(thrown);
    } // the destructor's close must not throw either
    ::CloseHandle(readOnly);
}

} // namespace
