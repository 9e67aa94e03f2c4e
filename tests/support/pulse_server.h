// A PulseAudio server of the test's own (tests/sound/pulse-server.sh): a
// null sink "nul" whose monitor records what it plays, reached only through
// PULSE_SERVER=address(), in a private folder; stopped when the object goes
// and, should the test process die first, with it.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace e2e {

class pulse_server {
  public:
    pulse_server();
    ~pulse_server();
    pulse_server(const pulse_server&) = delete;
    pulse_server& operator=(const pulse_server&) = delete;

    // Empty when it answers; else why not (no pulseaudio, no socket).
    const std::string& error() const { return error_; }
    // The value for PULSE_SERVER.
    std::string address() const { return "unix:" + (dir_ / "pulse" / "native").string(); }
    // What the server wrote on standard error.
    std::string log() const;

  private:
    std::filesystem::path dir_;
    pid_t pid_ = -1;
    std::string error_;
};

} // namespace e2e
