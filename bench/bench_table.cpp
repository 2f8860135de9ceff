// One table of every transfer that exists: each bench source linked in adds
// its entries (see BenchTable.h). `bench_table --help` for the options.
#include "BenchTable.h"

int main(int argc, char** argv) { return qjb::runTable(argc, argv); }
