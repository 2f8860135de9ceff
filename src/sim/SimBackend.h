#pragma once
// Offers the virtual jig as the backend "sim" (`--sim KEYS` or `--backend sim`).
// The front ends call this at start-up; the jig library does not know the
// virtual jig.
namespace qj::sim {

// Idempotent. Bad keys make the backend fail with a message naming the key.
void registerSimBackend();

}  // namespace qj::sim
