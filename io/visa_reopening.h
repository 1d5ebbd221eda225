#pragma once
// Keeps a late answer from a vendor VISA library away from later queries, with nothing but the
// library's own operations: after a read of a session timed out, the session is closed and opened
// again on the same resource, its attributes set again, before its next write. The caller keeps
// the session id it was given; the library's id behind it may change. Everything else passes
// through unchanged.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "io/visa_binding.h"

namespace marlin {

class ReopeningVisa final : public VisaBinding {
 public:
  explicit ReopeningVisa(std::shared_ptr<VisaBinding> inner);

  VisaBinding& Inner() const { return *inner_; }

  ViStatus viOpenDefaultRM(ViSession& rm) override;
  ViStatus viOpen(ViSession rm, const std::string& resource, std::uint32_t accessMode,
                  std::uint32_t openTimeout, ViSession& vi) override;
  ViStatus viSetAttribute(ViSession vi, ViAttr attribute, std::uint64_t value) override;
  ViStatus viClear(ViSession vi) override;
  ViStatus viClose(ViSession vi) override;
  ViStatus viWrite(ViSession vi, const std::string& bytes, std::uint32_t count,
                   std::uint32_t& written) override;
  ViStatus viRead(ViSession vi, std::string& buffer, std::uint32_t count,
                  std::uint32_t& read) override;

 private:
  struct Opened {
    ViSession library = 0;  // the library's id now
    ViSession manager = 0;
    std::string resource;
    std::uint32_t accessMode = 0;
    std::uint32_t openTimeout = 0;
    std::vector<std::pair<ViAttr, std::uint64_t>> attributes;  // in the order set, last wins
    bool reopen = false;
  };
  // The library's id for a caller's id (unchanged for ids this layer does not know).
  ViSession Library(ViSession vi);
  ViStatus Reopen(Opened& s);

  std::shared_ptr<VisaBinding> inner_;
  std::mutex mutex_;
  std::map<ViSession, Opened> sessions_;  // by the id the caller holds
};

}  // namespace marlin
