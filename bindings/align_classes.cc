// Registration of the alignment classes.  Script-visible: constructors and
// pickling.  The operations the package itself calls (drivers, tests) are
// bound under a leading underscore.
#include <pybind11/stl.h>

#include "align/readers.h"
#include "align_objects.h"
#include "common/errors.h"
#include "py_support.h"

namespace qaz_py {

namespace {

[[noreturn]] void RefusePickle(py::handle self) {
  throw py::type_error("cannot pickle '" + TypeName(self) + "' object");
}

// Trainer(conf, **others): one positional argument, which may also come by
// the keyword "conf".
template <typename T>
std::unique_ptr<T> MakeTrainer(py::args args, py::kwargs kwargs) {
  py::object conf;
  py::dict others;
  for (auto item : kwargs) others[item.first] = item.second;
  if (args.size() == 1 && !others.contains("conf")) {
    conf = args[0];
  } else if (args.size() == 0 && others.contains("conf")) {
    conf = others["conf"];
    PyDict_DelItemString(others.ptr(), "conf");
  } else {
    throw py::type_error(
        "__init__() takes exactly 1 positional argument (" +
        std::to_string(args.size() + (others.contains("conf") ? 1 : 0)) +
        " given)");
  }
  auto trainer = std::make_unique<T>();
  trainer->Construct(conf, others);
  return trainer;
}

template <typename T>
std::unique_ptr<T> MakeModel() {
  auto model = std::make_unique<T>();
  DebugPrint(kCore, py::str("base model cinit"));
  model->Init();
  return model;
}

py::tuple ReduceTrainer(py::object self, const char* module,
                        const char* restore) {
  py::tuple state = self.cast<TrainerObj&>().GetState();
  bool any = false;
  for (size_t k = 1; k < state.size(); ++k) any = any || !state[k].is_none();
  return pickling::Reduce(self, py::module_::import(module).attr(restore),
                         kTrainerLayout.checksums[0], state, any);
}

py::tuple ReduceModel(py::object self, const char* module,
                      const char* restore) {
  py::tuple state = self.cast<ModelObj&>().GetState();
  bool any = false;
  for (size_t k = 0; k < state.size(); ++k) any = any || !state[k].is_none();
  return pickling::Reduce(self, py::module_::import(module).attr(restore),
                         kModelLayout.checksums[0], state, any);
}

void ThreeArgs(const py::args& args, const char* name) {
  if (args.size() != 3) {
    throw py::type_error(std::string(name) + "() takes exactly 3 positional "
                         "arguments (" + std::to_string(args.size()) +
                         " given)");
  }
}

py::object UnpickleTrainer(py::args args, const char* name) {
  ThreeArgs(args, name);
  py::object cls = args[0], checksum = args[1], state = args[2];
  pickling::CheckStateArg(state);
  pickling::CheckChecksum(checksum, kTrainerLayout, pickling::ChecksumForm::kInt32);
  py::object obj = RawNew(cls);
  if (!state.is_none()) obj.cast<TrainerObj&>().SetState(state);
  return obj;
}

py::object UnpickleModel(py::args args, const char* name) {
  ThreeArgs(args, name);
  py::object cls = args[0], checksum = args[1], state = args[2];
  pickling::CheckStateArg(state);
  pickling::CheckChecksum(checksum, kModelLayout, pickling::ChecksumForm::kInt32);
  py::object obj = cls();
  if (!state.is_none()) obj.cast<ModelObj&>().SetState(state);
  return obj;
}

class SentPairsIter {
 public:
  explicit SentPairsIter(const SentPairsObj& pairs) : pairs_(pairs) {}
  py::tuple Next() {
    if (next_ >= pairs_.corpus->size()) throw py::stop_iteration();
    return pairs_.Pair(next_++);
  }

 private:
  SentPairsObj pairs_;
  int64_t next_ = 0;
};

}  // namespace

void AliasSetState(py::module_& m, const char* cls) {
  pickling::AliasSetState(m.attr(cls), "_set_state");
}

void BindVocabAndModel(py::module_& m) {
  py::class_<SentPairsObj>(m, "SentPairs",
                           "The id-encoded sentence pairs of a corpus: a "
                           "sequence of (source ids, target ids), the source "
                           "ids starting with the NULL word.")
      .def("__len__", [](const SentPairsObj& s) { return s.corpus->size(); })
      .def("__getitem__",
           [](const SentPairsObj& s, int64_t p) {
             int64_t n = s.corpus->size();
             if (p < 0) p += n;
             if (p < 0 || p >= n) throw py::index_error("index out of range");
             return s.Pair(p);
           })
      .def("__iter__", [](const SentPairsObj& s) { return SentPairsIter(s); })
      .def("to_list", &SentPairsObj::ToList)
      .def("cells",
           [](const SentPairsObj& s) { return s.corpus->Cells(); },
           "Sum over the pairs of len(source ids) * len(target ids).")
      .def("__reduce__", [](const SentPairsObj& s) {
        return py::make_tuple(py::module_::import("builtins").attr("list"),
                              py::make_tuple(s.ToList()));
      });
  py::class_<SentPairsIter>(m, "_SentPairsIterator")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &SentPairsIter::Next);

  py::class_<TransEntriesObj>(m, "_TransEntries",
                              "Entries of a translation-table file, read once.")
      .def("__len__", [](const TransEntriesObj& e) { return e.entries.size(); });

  py::class_<VocabObj>(m, "Vocab",
                       "Source and target word enumerators of a corpus "
                       "(the NULL word first on the source side) and the "
                       "longest sentence lengths seen.")
      .def(py::init<>())
      .def("_init", &VocabObj::Init)
      .def("_load_sent_pairs", &VocabObj::LoadSentPairs, py::arg("src_path"),
           py::arg("trg_path"), py::arg("character_based") = false)
      .def("_ids_pair_to_str_pair", &VocabObj::IdsPairToStrPair,
           py::arg("src_ids"), py::arg("trg_ids"),
           py::arg("character_based") = false)
      .def("_enter_trans_file_words",
           [](VocabObj& v, py::handle path) {
             PyReporter reporter(kCore);
             qaz::EnterTransFileWords(PathArg(path), &v.vocab, reporter);
           })
      .def("_read_trans_file",
           [](VocabObj& v, py::handle path) {
             PyReporter reporter(kCore);
             TransEntriesObj out;
             out.entries = qaz::ReadTransFile(PathArg(path), &v.vocab, reporter);
             return out;
           },
           "The entries of a translation-table file, its words entered: "
           "read once, for Model._load_trans_entries after setup.")
      .def("_sizes",
           [](const VocabObj& v) {
             return py::make_tuple(v.vocab.src.size(), v.vocab.trg.size(),
                                   v.vocab.max_len_src, v.vocab.max_len_trg);
           })
      .def("_src_id2str",
           [](const VocabObj& v, int64_t id) {
             return std::string(v.vocab.src.IdToStr(id));
           })
      .def("_trg_id2str",
           [](const VocabObj& v, int64_t id) {
             return std::string(v.vocab.trg.IdToStr(id));
           })
      .def("_src_str2id",
           [](VocabObj& v, std::string_view s) { return v.vocab.src.StrToId(s); })
      .def("_trg_str2id",
           [](VocabObj& v, std::string_view s) { return v.vocab.trg.StrToId(s); })
      .def("__reduce__", [](py::object self) { RefusePickle(self); })
      .def("_set_state",
           [](py::object self, py::object) { RefusePickle(self); });
  AliasSetState(m, "Vocab");

  py::class_<ModelObj>(m, "Model",
                       "Base of the word-alignment models: a vocabulary and "
                       "the translation and alignment tables.")
      .def(py::init(&MakeModel<ModelObj>))
      .def_property_readonly("_vocab",
                             [](const ModelObj& o) { return o.vocab; })
      .def_property_readonly(
          "_has_trans_dist",
          [](const ModelObj& o) { return static_cast<bool>(o.engine.trans); })
      .def_property_readonly(
          "_has_align_dist",
          [](const ModelObj& o) { return static_cast<bool>(o.engine.align); })
      .def("_trans_dist",
           [](const ModelObj& o) -> py::object {
             return o.engine.trans ? py::object(o.GetState()[1]) : py::none();
           })
      .def("_align_dist",
           [](const ModelObj& o) -> py::object {
             return o.engine.align ? py::object(o.GetState()[0]) : py::none();
           })
      .def("_calc_pair_entropy", &ModelObj::CalcPairEntropy,
           py::arg("src_ids"), py::arg("trg_ids"), py::arg("average") = true)
      .def("_calc_entropy", &ModelObj::CalcEntropy)
      .def("_calc_and_save_scores",
           [](const ModelObj& o, py::handle path, py::handle pairs,
              py::handle) { o.ScoreAndDecode(path, py::none(), pairs); },
           py::arg("path"), py::arg("sent_pairs"),
           py::arg("character_based") = false)
      .def("_decode_and_save_align",
           [](const ModelObj& o, py::handle path, py::handle pairs,
              py::handle) { o.ScoreAndDecode(py::none(), path, pairs); },
           py::arg("path"), py::arg("sent_pairs"),
           py::arg("character_based") = false)
      .def("_score_and_decode", &ModelObj::ScoreAndDecode,
           py::arg("scores_path"), py::arg("decode_path"),
           py::arg("sent_pairs"),
           "Writes the score file and/or the decoded-alignment file (either "
           "path may be None) in one walk over the pairs.")
      .def_property("_threads",
                    [](const ModelObj& o) { return o.threads; },
                    [](ModelObj& o, int n) { o.threads = n < 0 ? 0 : n; })
      .def_property(
          "_keep_final_walk",
          [](const ModelObj& o) { return o.engine.keep_final_walk; },
          [](ModelObj& o, bool keep) {
            o.engine.keep_final_walk = keep;
            if (!keep) o.engine.final_walk.reset();
          },
          "Whether Model 2 training keeps its last walk's scores and best "
          "links, so that the score and decoded-alignment files of the same "
          "corpus and tables are written without walking again.")
      .def("_save_trans_dist",
           [](const ModelObj& o, py::handle path, py::handle threshold,
              py::handle nbest) {
             o.SaveTransDist(PathArg(path), threshold, nbest);
           },
           py::arg("path"), py::arg("threshold"), py::arg("nbest") = py::none())
      .def("_save_align_dist",
           [](const ModelObj& o, py::handle path, py::handle threshold) {
             o.SaveAlignDist(PathArg(path), threshold);
           })
      .def("_load_trans_dist",
           [](ModelObj& o, py::handle path) { o.LoadTransDist(PathArg(path)); })
      .def("_load_trans_entries",
           [](ModelObj& o, const TransEntriesObj& e) { o.LoadTransEntries(e); })
      .def("_load_align_dist",
           [](ModelObj& o, py::handle path) { o.LoadAlignDist(PathArg(path)); })
      .def("__reduce__", [](py::object self) { RefusePickle(self); })
      .def("_set_state",
           [](py::object self, py::object) { RefusePickle(self); });
  AliasSetState(m, "Model");
}

void BindTrainer(py::module_& m) {
  py::class_<TrainerObj> cls(m, "Trainer",
                             "Base of the EM trainers: Trainer(conf, **others)"
                             " reads src_path, trg_path and character from "
                             "the configuration.");
  cls.def(py::init(&MakeTrainer<TrainerObj>))
      .def_property_readonly("_model", [](const TrainerObj& t) { return t.model; })
      .def_property_readonly("_sent_pairs",
                             [](const TrainerObj& t) { return t.sent_pairs; })
      .def_property_readonly("_src_path",
                             [](const TrainerObj& t) { return t.src_path; })
      .def_property_readonly("_trg_path",
                             [](const TrainerObj& t) { return t.trg_path; })
      .def_property_readonly(
          "_character_based",
          [](const TrainerObj& t) { return t.character_based; })
      .def("_set_memory",
           [](TrainerObj& t, py::handle limit, py::handle layout) {
             t.memory = MemoryPlanOf(limit, layout);
             if (!t.model.is_none()) t.Model().engine.memory = t.memory;
           },
           py::arg("memory_limit") = py::none(), py::arg("cell_layout") = py::none())
      .def_property(
          "_threads", [](const TrainerObj& t) { return t.threads; },
          [](TrainerObj& t, int n) {
            t.threads = n < 0 ? 0 : n;
            if (!t.model.is_none()) t.Model().threads = t.threads;
          })
      .def("_init", [](TrainerObj& t) { t.Init(); })
      .def("_init_trans_dist", [](TrainerObj& t) { t.InitTransDist(); })
      .def("_init_align_dist", [](TrainerObj& t) { t.InitAlignDist(); })
      .def("_expect_step", [](TrainerObj& t) { t.ExpectStep(); })
      .def("_maximize_step", [](TrainerObj& t) { t.MaximizeStep(); })
      .def("_setup", [](TrainerObj& t) { t.Setup(); })
      .def("_setup_with", [](TrainerObj& t, py::handle pairs) { t.SetupWith(pairs); })
      .def("_train", [](TrainerObj& t, py::handle n) { t.Train(Int32Arg(n)); })
      .def("_train_step", [](TrainerObj& t) { t.TrainStep(); })
      .def("_save_trans_dist",
           [](TrainerObj& t, py::handle path, py::handle threshold,
              py::handle nbest) {
             t.SaveTransDist(PathArg(path), threshold, nbest);
           },
           py::arg("path"), py::arg("threshold"), py::arg("nbest") = py::none())
      .def("_save_align_dist",
           [](TrainerObj& t, py::handle path, py::handle threshold) {
             t.SaveAlignDist(PathArg(path), threshold);
           })
      .def("_count_cooc", [](const TrainerObj& t) { return py::object(t.GetState()[2]); })
      .def("_count_align", [](const TrainerObj& t) { return py::object(t.GetState()[1]); })
      .def("__reduce__",
           [](py::object self) {
             return ReduceTrainer(self, kCore, "unpickle_Trainer");
           })
      .def("_set_state", [](py::object self, py::object state) {
        self.cast<TrainerObj&>().SetState(state);
      });
  AliasSetState(m, "Trainer");
  m.def("unpickle_Trainer",
        [](py::args args) { return UnpickleTrainer(args, "unpickle_Trainer"); });
}

void BindModel1(py::module_& m) {
  py::class_<Model1Obj, ModelObj>(m, "Model1",
                                  "IBM Model 1: every source position, the "
                                  "NULL word included, is equally likely.")
      .def(py::init(&MakeModel<Model1Obj>))
      .def("__reduce__",
           [](py::object self) {
             return ReduceModel(self, kLex, "unpickle_Model1");
           })
      .def("_set_state", [](py::object self, py::object state) {
        self.cast<ModelObj&>().SetState(state);
      });
  AliasSetState(m, "Model1");
  m.def("unpickle_Model1",
        [](py::args args) { return UnpickleModel(args, "unpickle_Model1"); });

  py::class_<Model1TrainerObj, TrainerObj> cls(
      m, "Model1Trainer",
      "EM trainer of IBM Model 1: Model1Trainer(conf, **others).");
  cls.def(py::init(&MakeTrainer<Model1TrainerObj>))
      .def("_train",
           [](Model1TrainerObj& t, py::handle n) {
             t.Model1TrainerObj::Train(Int32Arg(n));
           })
      .def("__reduce__",
           [](py::object self) {
             return ReduceTrainer(self, kLex, "unpickle_Model1Trainer");
           })
      .def("_set_state", [](py::object self, py::object state) {
        self.cast<TrainerObj&>().SetState(state);
      });
  AliasSetState(m, "Model1Trainer");
  m.def("unpickle_Model1Trainer", [](py::args args) {
    return UnpickleTrainer(args, "unpickle_Model1Trainer");
  });
}

void BindModel2(py::module_& m) {
  py::class_<Model2Obj, Model1Obj>(m, "Model2",
                                   "IBM Model 2: source positions weighted by "
                                   "the alignment table.")
      .def(py::init(&MakeModel<Model2Obj>))
      .def("__reduce__",
           [](py::object self) {
             return ReduceModel(self, kPos, "unpickle_Model2");
           })
      .def("_set_state", [](py::object self, py::object state) {
        self.cast<ModelObj&>().SetState(state);
      });
  AliasSetState(m, "Model2");
  m.def("unpickle_Model2",
        [](py::args args) { return UnpickleModel(args, "unpickle_Model2"); });

  py::class_<Model2TrainerObj, Model1TrainerObj> cls(
      m, "Model2Trainer",
      "EM trainer of IBM Model 2, run after Model 1 on the same object: "
      "Model2Trainer(conf, **others).");
  cls.def(py::init(&MakeTrainer<Model2TrainerObj>))
      .def("_train",
           [](Model2TrainerObj& t, py::handle n) {
             t.Model2TrainerObj::Train(Int32Arg(n));
           })
      .def("__reduce__",
           [](py::object self) {
             return ReduceTrainer(self, kPos, "unpickle_Model2Trainer");
           })
      .def("_set_state", [](py::object self, py::object state) {
        self.cast<TrainerObj&>().SetState(state);
      });
  AliasSetState(m, "Model2Trainer");
  m.def("unpickle_Model2Trainer", [](py::args args) {
    return UnpickleTrainer(args, "unpickle_Model2Trainer");
  });
}

}  // namespace qaz_py
