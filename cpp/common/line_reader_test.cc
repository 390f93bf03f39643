#include "common/line_reader.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/errors.h"
#include "testing/harness.h"

namespace {

std::vector<std::string> AllLines(const std::string& path) {
  qaz::LineReader reader(path);
  std::vector<std::string> out;
  std::string_view line;
  while (reader.Next(&line)) out.emplace_back(line);
  return out;
}

// `text` as one gzip member.
std::string Gzip(const std::string& text) {
  z_stream zs{};
  QAZ_EXPECT(deflateInit2(&zs, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK);
  std::string out(deflateBound(&zs, text.size()) + 64, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  zs.avail_in = static_cast<uInt>(text.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  QAZ_EXPECT(deflate(&zs, Z_FINISH) == Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

}  // namespace

QAZ_TEST(LineReaderSplitsAtLineFeedsOnly) {
  const std::string path = qaz::testing::WriteTemp("lines", "a b\nx\r\n\nin\rside\nlast");
  qaz::LineReader reader(path);
  QAZ_EXPECT_EQ(reader.file_size(), 20);
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.Next(&line)) lines.emplace_back(line);
  const std::vector<std::string> want = {"a b", "x\r", "", "in\rside", "last"};
  QAZ_EXPECT(lines == want);
  QAZ_EXPECT_EQ(reader.line_number(), 5);
  QAZ_EXPECT_EQ(reader.bytes_consumed(), 20);
  QAZ_EXPECT(!reader.Next(&line));
  QAZ_EXPECT(AllLines(qaz::testing::WriteTemp("empty", "")).empty());
  QAZ_EXPECT(AllLines(qaz::testing::WriteTemp("one", "\n")) == std::vector<std::string>{""});
}

QAZ_TEST(LineReaderHandlesLinesLongerThanItsBlock) {
  // Lines that straddle and exceed the 1 MiB read block.
  const std::string big(3 << 20, 'x');
  const std::string text = "short\n" + big + "\n" + big.substr(0, 1000) + "y";
  const auto lines = AllLines(qaz::testing::WriteTemp("long", text));
  QAZ_EXPECT_EQ(lines.size(), 3u);
  QAZ_EXPECT(lines.size() == 3 && lines[1] == big && lines[2].size() == 1001);
}

QAZ_TEST(LineReaderNamesThePathOfAFileItCannotRead) {
  const std::string missing = qaz::testing::TempPath("missing");
  auto e = qaz::testing::Thrown<qaz::IoError>([&] { qaz::LineReader reader(missing); });
  QAZ_EXPECT(e && e->path() == missing && e->err() == ENOENT);
  e = qaz::testing::Thrown<qaz::IoError>([] { qaz::LineReader reader("/tmp"); });
  QAZ_EXPECT(e && e->path() == "/tmp" && e->err() == EISDIR);
}

QAZ_TEST(LineReaderReadsGzipFilesAsTheirText) {
  const std::string big(3 << 20, 'x');
  const std::string text = "a b\nx\r\n\n" + big + "\nlast";
  const std::vector<std::string> plain = AllLines(qaz::testing::WriteTemp("plain", text));
  const std::string gz = qaz::testing::WriteTemp("text.gz", Gzip(text));
  QAZ_EXPECT(AllLines(gz) == plain);
  {
    qaz::LineReader reader(gz);
    QAZ_EXPECT(reader.compressed());
    std::string_view line;
    while (reader.Next(&line)) {
    }
    // Progress counts the compressed bytes, against the file's size.
    QAZ_EXPECT_EQ(reader.bytes_consumed(), reader.file_size());
  }
  // Members one after the other read as one text (as gzip -c a b > ab.gz makes).
  const std::string two = qaz::testing::WriteTemp("two.gz", Gzip("one\ntw") + Gzip("o\nthree\n"));
  QAZ_EXPECT((AllLines(two) == std::vector<std::string>{"one", "two", "three"}));
  // A text that merely starts with one of the two magic bytes stays text.
  QAZ_EXPECT((AllLines(qaz::testing::WriteTemp("x1f", "\x1f\n")) == std::vector<std::string>{"\x1f"}));
  QAZ_EXPECT(AllLines(qaz::testing::WriteTemp("empty.gz", Gzip(""))).empty());
}

QAZ_TEST(LineReaderReadsGzipThroughAPipe) {
  const std::string fifo = qaz::testing::TempPath("fifo");
  QAZ_EXPECT(::mkfifo(fifo.c_str(), 0600) == 0);
  std::string text;
  for (int k = 0; k < 100000; ++k) text += "line " + std::to_string(k) + "\n";
  const std::string gz = Gzip(text);
  std::thread writer([&] {
    FILE* f = std::fopen(fifo.c_str(), "wb");
    // One byte first: the reader must not take a short first read for the whole head.
    std::fwrite(gz.data(), 1, 1, f);
    std::fflush(f);
    std::fwrite(gz.data() + 1, 1, gz.size() - 1, f);
    std::fclose(f);
  });
  const std::vector<std::string> lines = AllLines(fifo);
  writer.join();
  QAZ_EXPECT_EQ(lines.size(), size_t{100000});
  QAZ_EXPECT_EQ(lines.back(), "line 99999");
}

QAZ_TEST(LineReaderSeeksInGzipFilesByTextOffset) {
  const std::string text = "zero\none\ntwo\nthree\n";
  const std::string gz = qaz::testing::WriteTemp("seek.gz", Gzip(text));
  qaz::LineReader reader(gz);
  std::string_view line;
  QAZ_EXPECT(reader.Next(&line) && line == "zero");
  reader.Seek(9, 2);  // the start of "two"
  QAZ_EXPECT(reader.Next(&line) && line == "two");
  QAZ_EXPECT_EQ(reader.line_number(), 3);
  QAZ_EXPECT(reader.Next(&line) && line == "three");
  QAZ_EXPECT(!reader.Next(&line));
}

QAZ_TEST(LineReaderNamesTheFileAndLineOfBrokenGzipData) {
  std::string text;
  for (int k = 0; k < 20000; ++k) text += "line " + std::to_string(k) + "\n";
  const std::string gz = Gzip(text);
  auto read_all = [](const std::string& path) {
    return qaz::testing::Thrown<std::invalid_argument>([&] { AllLines(path); });
  };
  // Cut short: the lines before the cut are read, then the error names the line.
  const std::string cut = qaz::testing::WriteTemp("cut.gz", gz.substr(0, gz.size() / 2));
  auto e = read_all(cut);
  QAZ_EXPECT(e && std::string(e->what()).find(cut + ", line ") == 0);
  QAZ_EXPECT(e && std::string(e->what()).find("ends early") != std::string::npos);
  // Bytes changed in the middle of the deflate data.
  std::string bad = gz;
  for (size_t k = bad.size() / 2; k < bad.size() / 2 + 64; ++k) bad[k] = static_cast<char>(~bad[k]);
  const std::string bad_path = qaz::testing::WriteTemp("bad.gz", bad);
  e = read_all(bad_path);
  QAZ_EXPECT(e && std::string(e->what()).find(bad_path + ", line ") == 0);
  QAZ_EXPECT(e && std::string(e->what()).find("corrupt") != std::string::npos);
}
