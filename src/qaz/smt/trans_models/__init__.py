"""Translation models: Moses and Travatar rule tables indexed by tries (``tables``)
and their rule records (``records``)."""
