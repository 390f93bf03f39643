"""Small shared layer: configuration, string enumerators, logging, progress, files, text."""
