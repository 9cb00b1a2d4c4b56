// The rows the table and criteria benchmarks measure on: 100,000 people
// whose AGE and NAME are spread so that `AGE >= 18 and NAME = 'x'` selects a
// fixed share of them, the same in every run and for every reference.
#ifndef HV_BENCH_PEOPLE_ROWS_H
#define HV_BENCH_PEOPLE_ROWS_H

namespace hv::bench {

constexpr int kRows = 100000;
constexpr const char* kCriteria = "AGE >= 18 and NAME = 'x'";

inline const char* const kNames[] = {"x", "alice", "bob", "x", "carol", "dave", "xavier"};

inline int AgeOf(int i) {
  return (i * 7) % 60;
}
inline const char* NameOf(int i) {
  return kNames[(i / 3) % (sizeof kNames / sizeof kNames[0])];
}

}  // namespace hv::bench

#endif  // HV_BENCH_PEOPLE_ROWS_H
