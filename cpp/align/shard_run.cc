#include "align/shard_run.h"

#include <stdexcept>

#include "align/trainer.h"
#include "align/readers.h"
#include "common/parallel.h"

namespace qaz {

// -------------------------------------------------------------- ModelShard

namespace {

// The per-pair files a shard writes, by kind name (a null path: not asked).
OutputRequests PairOutputs(const std::string* scores_path,
                           const std::string* decoded_path) {
  OutputRequests asked;
  if (scores_path != nullptr) asked.push_back({"scores", *scores_path});
  if (decoded_path != nullptr) asked.push_back({"decoded", *decoded_path});
  return asked;
}

}  // namespace

std::shared_ptr<ModelShard> ModelShard::Load(
    const std::string& src_path, const std::string& trg_path,
    int64_t src_offset, int64_t trg_offset, int64_t first_line, int64_t count,
    bool character_based, int threads) {
  auto shard = std::make_shared<ModelShard>();
  shard->threads_ = threads;
  shard->vocab_ = std::make_shared<Vocab>();
  CollectingReporter log;
  shard->corpus_ = std::make_shared<const Corpus>(
      LoadCorpusLines(shard->vocab_.get(), src_path, trg_path, src_offset,
                      trg_offset, first_line, count, character_based, log));
  shard->warnings_ = std::move(log.warnings);
  return shard;
}

const Vocab& ModelShard::vocab() const {
  if (!vocab_) throw std::invalid_argument("the shard holds no words of its own");
  return *vocab_;
}

std::shared_ptr<ModelShard> ModelShard::Remap(
    const std::vector<int32_t>& src_map,
    const std::vector<int32_t>& trg_map) const {
  auto out = std::make_shared<ModelShard>();
  out->threads_ = threads_;
  out->corpus_ =
      std::make_shared<const Corpus>(RemapCorpus(*corpus_, src_map, trg_map));
  return out;
}

std::shared_ptr<ModelShard> ModelShard::Index(int32_t S, int32_t T, int32_t A,
                                              int32_t B) const {
  auto out = std::make_shared<ModelShard>();
  out->threads_ = threads_;
  out->corpus_ = corpus_;
  out->tables_ = std::make_shared<ShardTables>(corpus_, S, T, A, B,
                                               Parallel(threads_));
  return out;
}

ShardTables& ModelShard::tables() {
  if (!tables_) throw std::invalid_argument("the shard has no tables yet");
  return *tables_;
}

const ShardTables& ModelShard::tables() const {
  return const_cast<ModelShard*>(this)->tables();
}

void ModelShard::Attach(std::vector<uint32_t> cell_map,
                        std::vector<uint64_t> block_offsets) {
  tables().Attach(std::move(cell_map), std::move(block_offsets));
}

double ModelShard::Sweep(const double* p, size_t p_size, const double* a,
                         size_t a_size, const SweepRequest& request,
                         std::vector<double>* counts,
                         std::vector<double>* align_counts) {
  ShardTables& t = tables();
  t.TakeValues(p, p_size, a, a_size);
  return t.Sweep(request, Parallel(threads_), counts, align_counts);
}

void ModelShard::WriteTrained(const double* p, size_t p_size, const double* a,
                              size_t a_size, bool model2,
                              const std::string* scores_path,
                              const std::string* decoded_path) {
  ShardTables& t = tables();
  t.TakeValues(p, p_size, a, a_size);
  Model model = t.AsModel();
  model.type = model2 ? ModelType::kModel2 : ModelType::kModel1;
  NullReporter quiet;
  model.WritePairOutputs(PairOutputs(scores_path, decoded_path), *corpus_,
                         Parallel(threads_), quiet);
}

ModelShard::StoredTables ModelShard::ScoreStored(
    const std::string& trans_path, const std::string* align_path, int32_t T,
    const std::string* scores_path, const std::string* decoded_path) {
  if (!vocab_) throw std::invalid_argument("the shard holds no words of its own");
  NullReporter quiet;
  const Parallel parallel(threads_);
  Model model;
  model.type = ModelType::kModel2;
  model.vocab = vocab_;
  // Read once: the file may be a pipe.
  const std::vector<TransEntry> entries =
      ReadTransFile(trans_path, vocab_.get(), quiet);
  if (vocab_->trg.size() > T) {
    throw std::invalid_argument(
        "the shard has more target words than the whole corpus");
  }
  model.trans = TransTable::Build(vocab_->src.size(), T, corpus_, {},
                                  1.0 / static_cast<double>(T), nullptr,
                                  &parallel, &model.memory);
  model.align =
      AlignTable::Build(vocab_->max_len_src, vocab_->max_len_trg, *corpus_);
  StoredTables info;
  info.cells = model.trans->nnz();
  info.trans_bytes = model.trans->MemoryBytes();
  info.align_bytes = model.align->MemoryBytes();
  info.shapes = model.align->blocks().size();
  model.LoadTransEntries(entries, parallel);
  if (align_path != nullptr) model.LoadAlignFile(*align_path, quiet);
  model.WritePairOutputs(PairOutputs(scores_path, decoded_path), *corpus_,
                         parallel, quiet);
  return info;
}

size_t ModelShard::MemoryBytes() const {
  return tables_ ? tables_->MemoryBytes() : corpus_->MemoryBytes();
}

// --------------------------------------------------------- ShardedTraining

namespace {

void EnterWords(Vocab* vocab, const std::vector<std::string>& src_words,
                const std::vector<std::string>& trg_words, int32_t max_src,
                int32_t max_trg) {
  for (const std::string& w : src_words) vocab->src.StrToId(w);
  for (const std::string& w : trg_words) vocab->trg.StrToId(w);
  vocab->max_len_src = max_src;
  vocab->max_len_trg = max_trg;
}

}  // namespace

ShardedTraining::ShardedTraining(
    Vocab* vocab, Model* model, const std::vector<std::string>& src_words,
    const std::vector<std::string>& trg_words, int32_t max_src,
    int32_t max_trg, const std::vector<std::vector<uint64_t>>& keys,
    std::vector<std::vector<std::pair<int32_t, int32_t>>> shapes,
    Reporter& core_log, Reporter& lex_log, Reporter& pos_log)
    : model_(model) {
  EnterWords(vocab, src_words, trg_words, max_src, max_trg);
  ReportVocab(*vocab, core_log);
  lex_log.Info("initializing word translation probabilities as uniform "
               "distribution");
  tables_ = std::make_unique<ShardedTables>(vocab->src.size(),
                                            vocab->trg.size(), max_src,
                                            max_trg, keys, std::move(shapes));
  model_->trans = tables_->trans();
  ReportTransTable(*model_->trans, lex_log);
  pos_log.Info("initializing index alignment probabilities as uniform "
               "distribution");
  model_->align = tables_->align();
  ReportAlignTable(*model_->align, max_src, max_trg, pos_log);
}

void ShardedTraining::RunSchedule(
    const Schedule& schedule, int64_t pairs, const StepShardWalk& walk,
    Reporter& core_log, const StepStart& start_step,
    const std::function<void(ModelType step)>& on_step) {
  const StepWalker walker = [&](bool entropy, bool expect, ModelType step) {
    return tables_->Reduce(walk(entropy, expect, step), expect,
                           step == ModelType::kModel2);
  };
  RunEmSchedule(schedule, model_, pairs, walker, core_log, start_step, on_step);
}

}  // namespace qaz
