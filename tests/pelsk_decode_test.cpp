// The built pelsk tool's decode command, run as a person would run it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/jpeg_oracle.h"
#include "support/test_pictures.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int exitCode = -1;
    std::string out, err;
};

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

class PelskDecode : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::path(testing::TempDir()) / "pelsk_decode_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    ToolRun Pelsk(const std::string& arguments)
    {
        const fs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt";
        const std::string command = std::string("'") + PELSK_BINARY + "' " + arguments + " >'" + out.string() +
                                    "' 2>'" + err.string() + "' </dev/null";
        const int status = std::system(command.c_str());
        ToolRun run;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = ReadText(out);
        run.err = ReadText(err);
        fs::remove(out);
        fs::remove(err);
        return run;
    }

    std::string Quoted(const fs::path& path) const { return "'" + path.string() + "'"; }

    // Files other than the ones the test put there.
    std::vector<std::string> Outputs(const std::string& except) const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            if (entry.path().filename() != except)
                names.push_back(entry.path().filename().string());
        return names;
    }

    fs::path dir_;
};

TEST_F(PelskDecode, WritesPpmPngAndTheDriversRawFrameBuffers)
{
    const std::string input = pictures::DataPath("chelsea_320x240_q75.jpg");
    const std::vector<uint8_t> jpeg = pictures::ReadDataFile("chelsea_320x240_q75.jpg");
    const oracle::OurDecode bgr = oracle::DecodeOurs(jpeg, oracle::Format::Bgr24);
    const oracle::OurDecode uyvy = oracle::DecodeOurs(jpeg, oracle::Format::Uyvy);
    ASSERT_EQ(bgr.result, 0);

    ToolRun run = Pelsk("decode '" + input + "' -o " + Quoted(dir_ / "out.ppm"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.out).size(), 1u) << run.out;
    EXPECT_NE(run.out.find("320x240"), std::string::npos) << run.out;
    const std::vector<uint8_t> ppm = ReadBytes(dir_ / "out.ppm");
    const std::string header = "P6\n320 240\n255\n";
    ASSERT_EQ(ppm.size(), header.size() + 320 * 240 * 3);
    EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + static_cast<std::ptrdiff_t>(header.size())), header);
    // Top row first, RGB: the last line of the bottom-up BGR24 buffer, reversed per pixel.
    const size_t lastLine = 239 * 320 * 3;
    EXPECT_EQ(ppm[header.size()], bgr.frame[lastLine + 2]);
    EXPECT_EQ(ppm[header.size() + 2], bgr.frame[lastLine]);

    run = Pelsk("decode '" + input + "' -o " + Quoted(dir_ / "out.png"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<uint8_t> png = ReadBytes(dir_ / "out.png");
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png[1], 'P');
    EXPECT_EQ(png[2], 'N');
    EXPECT_EQ(png[3], 'G');

    run = Pelsk("decode '" + input + "' --raw bgr24 -o " + Quoted(dir_ / "bgr.raw"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(dir_ / "bgr.raw"), bgr.frame);

    run = Pelsk("decode '" + input + "' --raw uyvy -o " + Quoted(dir_ / "uyvy.raw"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(dir_ / "uyvy.raw"), uyvy.frame);
    EXPECT_EQ(fs::file_size(dir_ / "uyvy.raw"), 320u * 240 * 2);
}

TEST_F(PelskDecode, NamesTheCauseAndLeavesNoFileForARefusedPicture)
{
    std::vector<uint8_t> jpeg = pictures::ReadDataFile("chelsea_320x240_q75.jpg");
    for (size_t i = 0; i + 4 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 4] = 12;
            break;
        }
    {
        std::ofstream(dir_ / "broken.jpg", std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()),
                                                                  static_cast<std::streamsize>(jpeg.size()));
    }
    for (const char* output : {"out.ppm", "out.png", "out.raw"}) {
        const std::string raw = std::string(output) == "out.raw" ? " --raw uyvy" : "";
        const ToolRun run = Pelsk("decode " + Quoted(dir_ / "broken.jpg") + raw + " -o " + Quoted(dir_ / output));
        EXPECT_NE(run.exitCode, 0) << output;
        const std::vector<std::string> lines = Lines(run.err);
        ASSERT_EQ(lines.size(), 1u) << run.err;
        EXPECT_NE(lines[0].find("DECERR_SOF_BAD_PRECISION (-205)"), std::string::npos) << lines[0];
        EXPECT_TRUE(Outputs("broken.jpg").empty()) << "an output file was left for " << output;
    }
}

struct BadArguments {
    const char* arguments;
    int exitCode;
};

void PrintTo(const BadArguments& c, std::ostream* os) { *os << c.arguments; }

class PelskDecodeArguments : public PelskDecode, public testing::WithParamInterface<BadArguments> {};

TEST_P(PelskDecodeArguments, AreRefusedWithOneLine)
{
    const ToolRun run = Pelsk(GetParam().arguments);
    EXPECT_EQ(run.exitCode, GetParam().exitCode);
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_TRUE(Outputs("").empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, PelskDecodeArguments,
                         testing::Values(BadArguments{"decode", 2}, BadArguments{"decode in.jpg", 2},
                                         BadArguments{"decode in.jpg -o", 2},
                                         BadArguments{"decode in.jpg -o out.bmp", 2},
                                         BadArguments{"decode in.jpg --raw rgb565 -o out.raw", 2},
                                         BadArguments{"decode in.jpg --bogus -o out.ppm", 2},
                                         BadArguments{"decode /nonexistent/in.jpg -o /nonexistent/out.ppm", 1}));

TEST_F(PelskDecode, ExplainsItsUsage)
{
    const ToolRun run = Pelsk("decode --help");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("usage: pelsk decode"), std::string::npos) << run.out;
}

TEST_F(PelskDecode, RefusesAnEmptyFile)
{
    std::ofstream(dir_ / "empty.jpg").close();
    const ToolRun run = Pelsk("decode " + Quoted(dir_ / "empty.jpg") + " -o " + Quoted(dir_ / "out.ppm"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_FALSE(fs::exists(dir_ / "out.ppm"));
}

}  // namespace

namespace {

using PelskPackets = PelskDecode;

TEST_F(PelskPackets, StreamsFramesJudgesAndDecodesThemAndWritesTheLastAsPng)
{
    ToolRun run = Pelsk("packets --frames 3 --png " + Quoted(dir_ / "last.png"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("3 judged good, 3 reassembled intact"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("3 decoded"), std::string::npos) << run.out;
    const std::vector<uint8_t> png = ReadBytes(dir_ / "last.png");
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png[1], 'P');
    EXPECT_EQ(png[2], 'N');
    EXPECT_EQ(png[3], 'G');
}

TEST_F(PelskPackets, RefusesBadArgumentsWithOneLine)
{
    for (const char* arguments : {"packets --frames 0", "packets --size 10", "packets --faults 2", "packets --bogus 1"}) {
        ToolRun run = Pelsk(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments;
        EXPECT_EQ(Lines(run.err).size(), 1u) << arguments << ": " << run.err;
    }
}

}  // namespace
