// The library's HashTable against std::unordered_map<std::string, void*>:
// putting and getting 100,000 distinct keys.
//
// Pairs (ours / reference, same keys in the same order; the argument is our
// fixed bucket count, the map grows on its own):
//   HashPut_*/131072   a fresh table, 100,000 puts, the table released
//   HashGet_*/131072   100,000 lookups of present keys in a filled table
// 131072 buckets keep our chains about as short as the map's (load 0.76).
// HashPutOverfilled/1024 and HashGetOverfilled/1024 (about 100 keys per
// chain) show what the fixed count costs when a table holds far more keys
// than it was sized for; they have no reference.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "quill/base/hash_table.h"

namespace {

constexpr int kKeys = 100000;

const std::vector<std::string>& Keys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> made;
    made.reserve(kKeys);
    for (int i = 0; i < kKeys; ++i) made.push_back("Users" + std::to_string(i * 7919 % 1000003));
    return made;
  }();
  return keys;
}

void* ValueOf(size_t i) {
  return reinterpret_cast<void*>(i + 1);
}

void HashPut_Ours(benchmark::State& state) {
  const auto& keys = Keys();
  auto buckets = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    HashTable table;
    if (!InitHashTable(&table, buckets)) {
      state.SkipWithError("InitHashTable failed");
      break;
    }
    for (size_t i = 0; i < keys.size(); ++i) HashPut(&table, keys[i].c_str(), ValueOf(i));
    benchmark::DoNotOptimize(table.buckets);
    FreeHashTable(&table);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

void HashPut_Reference(benchmark::State& state) {
  const auto& keys = Keys();
  for (auto _ : state) {
    std::unordered_map<std::string, void*> map;
    for (size_t i = 0; i < keys.size(); ++i) map[keys[i]] = ValueOf(i);
    benchmark::DoNotOptimize(map.size());
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

void HashGet_Ours(benchmark::State& state) {
  const auto& keys = Keys();
  HashTable table;
  InitHashTable(&table, static_cast<int32_t>(state.range(0)));
  for (size_t i = 0; i < keys.size(); ++i) HashPut(&table, keys[i].c_str(), ValueOf(i));
  for (auto _ : state) {
    for (const std::string& key : keys) benchmark::DoNotOptimize(HashGet(&table, key.c_str()));
  }
  FreeHashTable(&table);
  state.SetItemsProcessed(state.iterations() * kKeys);
}

void HashGet_Reference(benchmark::State& state) {
  const auto& keys = Keys();
  std::unordered_map<std::string, void*> map;
  for (size_t i = 0; i < keys.size(); ++i) map[keys[i]] = ValueOf(i);
  for (auto _ : state) {
    for (const std::string& key : keys) benchmark::DoNotOptimize(map.find(key)->second);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

}  // namespace

BENCHMARK(HashPut_Ours)->Arg(131072)->Unit(benchmark::kMillisecond);
BENCHMARK(HashPut_Reference)->Arg(131072)->Unit(benchmark::kMillisecond);
BENCHMARK(HashGet_Ours)->Arg(131072)->Unit(benchmark::kMillisecond);
BENCHMARK(HashGet_Reference)->Arg(131072)->Unit(benchmark::kMillisecond);
// Not paired with a reference (the map has no fixed size to compare with).
BENCHMARK(HashPut_Ours)->Name("HashPutOverfilled")->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(HashGet_Ours)->Name("HashGetOverfilled")->Arg(1024)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
