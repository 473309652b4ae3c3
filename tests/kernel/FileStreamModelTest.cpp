// tests/kernel/FileStreamModelTest.cpp: the buffered file stream against a plain byte string
// under random seeks, reads, writes, length changes and origins.
#include "Support.h"

#include "Kernel/Stream.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <unistd.h>

TEST(FileStream, RandomOperationsAgreeWithAByteString)
{
    std::string path = filesTemporaryFolder() + "/velora-model-" + std::to_string(getpid());
    int error = 0;
    std::unique_ptr<FileStream> stream(FileStream::open(path, FileStream::Mode::Create, error));
    ASSERT_TRUE(stream) << error;
    std::string model;     // the whole file
    int64_t origin = 0;
    int64_t position = 0;  // relative to the origin
    std::mt19937 random(7);
    auto pick = [&](int64_t n) { return n <= 0 ? 0 : int64_t(random() % uint64_t(n + 1)); };
    for (int step = 0; step < 4000; ++step) {
        int64_t length = std::max<int64_t>(int64_t(model.size()) - origin, 0);
        switch (random() % 8) {
        case 0: { // seek, sometimes past the end
            position = pick(length + 10);
            stream->seek(position);
            break;
        }
        case 1: { // write a block (sometimes larger than the gathering buffer)
            size_t n = random() % 6 == 0 ? 70000 + random() % 70000 : random() % 300;
            std::string data(n, '\0');
            for (char& c : data)
                c = char(random());
            stream->writeBlock(data.data(), n);
            size_t at = size_t(origin + position);
            if (model.size() < at + n)
                model.resize(at + n, '\0');
            model.replace(at, n, data);
            position += int64_t(n);
            break;
        }
        case 2: { // write a byte
            int byte = int(random() % 256);
            stream->writeByte(byte);
            size_t at = size_t(origin + position);
            if (model.size() < at + 1)
                model.resize(at + 1, '\0');
            model[at] = char(byte);
            ++position;
            break;
        }
        case 3: { // read a block
            size_t n = random() % 2 ? random() % 100 : random() % 100000;
            std::string got(n, '\0');
            size_t done = stream->readBlock(got.data(), n);
            int64_t at = origin + position;
            size_t expected = at >= int64_t(model.size()) ? 0 : std::min<size_t>(n, model.size() - size_t(at));
            ASSERT_EQ(done, expected) << "step " << step;
            ASSERT_EQ(got.substr(0, done), model.substr(size_t(std::min<int64_t>(at, int64_t(model.size()))), done)) << step;
            position += int64_t(done);
            break;
        }
        case 4: { // read and peek bytes
            for (int k = 0; k < 5; ++k) {
                int64_t at = origin + position;
                int expected = at < int64_t(model.size()) ? uint8_t(model[size_t(at)]) : NativeStream::kEnd;
                ASSERT_EQ(stream->peekByte(), expected) << step;
                ASSERT_EQ(stream->readByte(), expected) << step;
                if (expected != NativeStream::kEnd)
                    ++position;
            }
            break;
        }
        case 5: { // cut or extend
            int64_t n = pick(length + 1000);
            ASSERT_TRUE(stream->setLength(n));
            model.resize(size_t(origin + n), '\0');
            break;
        }
        case 6: // a new origin, now and then
            if (random() % 8 == 0) {
                origin = pick(int64_t(model.size()));
                stream->setOrigin(origin);
                position = 0;
            }
            break;
        case 7:
            stream->flush();
            break;
        }
        ASSERT_EQ(stream->position(), position) << step;
        ASSERT_EQ(stream->length(), std::max<int64_t>(int64_t(model.size()) - origin, 0)) << step;
    }
    stream->close();
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    EXPECT_EQ(all.str(), model);
    unlink(path.c_str());
}
