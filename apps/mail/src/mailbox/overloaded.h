#pragma once
// Visitor from lambdas, for the tagged unions (commands, events, intents).

namespace mail {

template <typename... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};

}  // namespace mail
