from qaz.aligner import Aligner as Aligner
