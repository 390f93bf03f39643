// Model folders of the two-direction aligner: Aligner::SaveModel and
// Aligner::LoadModel.
#include <sys/stat.h>

#include <cerrno>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

#include "align/aligner.h"
#include "align/models/factory.h"
#include "align/writers.h"
#include "common/errors.h"
#include "common/line_reader.h"
#include "common/output_file.h"

namespace qaz {

namespace {

constexpr const char* kFormat = "qaz-align model 1";
constexpr const char* kManifest = "manifest.txt";

std::string Join(const std::string& dir, const char* name) {
  return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

void WriteText(const std::string& path, const std::string& text) {
  OutputFile out(path);
  out.buffer() += text;
  out.Close();
}

std::string ReadText(const std::string& path) {
  LineReader reader(path);
  std::string out;
  std::string_view line;
  while (reader.Next(&line)) {
    out.append(line);
    out.push_back('\n');
  }
  return out;
}

// The manifest's "key<TAB>value" lines.
std::map<std::string, std::string> ReadManifest(const std::string& path) {
  LineReader reader(path);
  std::map<std::string, std::string> out;
  std::string_view line;
  while (reader.Next(&line)) {
    const std::string where = path + ":" + std::to_string(reader.line_number());
    if (line.empty()) continue;
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) {
      throw std::invalid_argument(where + ": expected KEY<TAB>VALUE, got '" +
                                  std::string(line) + "'");
    }
    std::string key(line.substr(0, tab));
    if (!out.emplace(key, std::string(line.substr(tab + 1))).second) {
      throw std::invalid_argument(where + ": " + key + " given twice");
    }
  }
  if (out.empty() || out["format"] != kFormat) {
    throw std::invalid_argument(path + ": not a model manifest (its first line reads 'format<TAB>" +
                                std::string(kFormat) + "')");
  }
  return out;
}

bool YesNo(const std::map<std::string, std::string>& m, const std::string& key,
           const std::string& path) {
  const auto it = m.find(key);
  if (it == m.end() || (it->second != "yes" && it->second != "no")) {
    throw std::invalid_argument(path + ": expected '" + key + "<TAB>yes' or 'no'");
  }
  return it->second == "yes";
}

}  // namespace

void Aligner::SaveModel(const std::string& dir, Reporter& log) const {
  const DirectionModel& f = forward();
  const DirectionModel& r = reverse();
  if (mkdir(dir.c_str(), 0777) != 0) {
    struct stat st;
    if (errno != EEXIST || stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      throw IoError(errno == EEXIST ? ENOTDIR : errno, dir);
    }
  }
  const bool model2 = options_.schedule.empty();
  const bool hmm = f.hmm != nullptr;
  log.Info("storing the model into folder: " + dir);
  WriteOptions options;
  options.threshold = 0.0;  // every value the model holds
  options.nbest.reset();
  for (const auto& [d, name] : {std::pair{&f, "forward"}, std::pair{&r, "reverse"}}) {
    const std::string base = Join(dir, name);
    const std::string align = base + ".a";
    ModelOf(d->model.type)
        .WriteTables(d->model, base + ".t", model2 ? &align : nullptr, options,
                     "0.0", parallel_, log);
    if (d->hmm) WriteText(base + ".hmm", FormatHmmParams(*d->hmm));
  }
  std::string manifest = std::string("format\t") + kFormat + "\n";
  manifest += std::string("model\t") + (model2 ? "2" : hmm ? "hmm" : "1") + "\n";
  manifest += "schedule\t" + FormatSchedule(options_.schedule) + "\n";
  manifest += std::string("agreement\t") + (options_.agreement ? "yes" : "no") + "\n";
  manifest += std::string("character\t") + (options_.character_based ? "yes" : "no") + "\n";
  manifest += std::string("whitespace-runs\t") + (options_.whitespace_runs ? "yes" : "no") + "\n";
  manifest += std::string("lowercase\t") + (options_.lowercase ? "yes" : "no") + "\n";
  manifest += std::string("posterior\t") + (options_.posterior_product ? "product" : "mean") + "\n";
  // Last, so that a folder with a manifest is complete.
  WriteText(Join(dir, kManifest), manifest);
}

void Aligner::LoadModel(const std::string& dir, Reporter& log) {
  const std::string path = Join(dir, kManifest);
  log.Info("loading the model of folder: " + dir);
  std::map<std::string, std::string> m = ReadManifest(path);
  const std::string model = m["model"];
  if (model != "1" && model != "2" && model != "hmm") {
    throw std::invalid_argument(path + ": unknown model '" + model + "'");
  }
  Schedule schedule;
  if (model != "2") {
    try {
      schedule = ParseSchedule(m["schedule"]);
    } catch (const std::invalid_argument& e) {
      throw std::invalid_argument(path + ": " + e.what());
    }
  }
  const bool agreement = YesNo(m, "agreement", path);
  const bool character = YesNo(m, "character", path);
  const bool runs = YesNo(m, "whitespace-runs", path);
  const bool lowercase = YesNo(m, "lowercase", path);
  const std::string& posterior = m["posterior"];
  if (posterior != "product" && posterior != "mean") {
    throw std::invalid_argument(path + ": expected 'posterior<TAB>product' or 'mean'");
  }
  std::unique_ptr<DirectionModel> dirs[2];
  const char* names[2] = {"forward", "reverse"};
  for (int d = 0; d < 2; ++d) {
    const std::string base = Join(dir, names[d]);
    const std::string align = base + ".a";
    dirs[d] = ReadDirectionFiles(base + ".t", model == "2" ? &align : nullptr,
                                 parallel_, log);
    if (model == "hmm") {
      log.Info("loading the HMM parameters file: " + base + ".hmm");
      dirs[d]->hmm = std::make_shared<HmmParams>(
          ParseHmmParams(ReadText(base + ".hmm"), base + ".hmm"));
    }
  }
  options_.schedule = std::move(schedule);
  options_.agreement = agreement;
  options_.character_based = character;
  options_.whitespace_runs = runs;
  options_.lowercase = lowercase;
  options_.posterior_product = posterior == "product";
  if (dirs[0]->hmm) options_.p0 = dirs[0]->hmm->p0;
  forward_ = std::move(dirs[0]);
  reverse_ = std::move(dirs[1]);
}

}  // namespace qaz
