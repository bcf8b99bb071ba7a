# The fuzz targets, each <name>_fuzzer.cpp with its seeds in corpus/<name>/.
set(SORVANE_FUZZ_TARGETS probe_output command_line_split child_command_line path_text log_record)
