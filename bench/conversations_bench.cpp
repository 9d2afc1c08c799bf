// Grouping a large folder into conversations, and the visible list built from it.
#include <benchmark/benchmark.h>

#include <random>

#include "mailbox/conversations.h"

namespace {

// 10,000 Inbox messages in threads of 1 to 8 replies, some without identifiers.
mail::MessageStore make_folder(std::size_t count) {
  mail::MessageStore store;
  std::mt19937 rng(7);
  std::size_t n = 0;
  while (n < count) {
    std::size_t thread = 1 + rng() % 8;
    std::string root = "root-" + std::to_string(n) + "@example.com";
    for (std::size_t i = 0; i < thread && n < count; ++i, ++n) {
      mail::MailMessage m;
      m.id = mail::new_uuid_v4();
      m.time = static_cast<std::int64_t>(rng() % 500000);
      m.subject = i == 0 ? "Topic " + std::to_string(n) : "Re: Topic " + std::to_string(n);
      if (rng() % 20 != 0) m.message_id = "<m-" + std::to_string(n) + "@example.com>";
      if (i > 0) m.thread_key = "<" + root + ">";
      if (i == 0) m.message_id = "<" + root + ">";
      store.merge(std::move(m));
    }
  }
  return store;
}

void BM_Conversations(benchmark::State& state) {
  auto store = make_folder(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(mail::conversations(store, mail::FolderRole::Inbox));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Conversations)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_VisibleList(benchmark::State& state) {
  auto store = make_folder(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(mail::folder_entries(store, mail::FolderRole::Inbox));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_VisibleList)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
