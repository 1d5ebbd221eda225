#include "io/visa_reopening.h"

#include <algorithm>

#include "io/visa_status.h"

namespace marlin {

ReopeningVisa::ReopeningVisa(std::shared_ptr<VisaBinding> inner) : inner_(std::move(inner)) {}

ViSession ReopeningVisa::Library(ViSession vi) {
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(vi);
  return it == sessions_.end() ? vi : it->second.library;
}

ViStatus ReopeningVisa::viOpenDefaultRM(ViSession& rm) { return inner_->viOpenDefaultRM(rm); }

ViStatus ReopeningVisa::viOpen(ViSession rm, const std::string& resource, std::uint32_t accessMode,
                               std::uint32_t openTimeout, ViSession& vi) {
  ViStatus status = inner_->viOpen(rm, resource, accessMode, openTimeout, vi);
  if (status != visa_status::kSuccess) return status;
  std::lock_guard lock(mutex_);
  ViSession id = vi;
  // A reopened session may have left its first id to the library, which now hands it out again.
  while (sessions_.count(id) != 0) id = id == 0x7FFFFFFF ? 1 : id + 1;
  sessions_[id] = Opened{vi, rm, resource, accessMode, openTimeout, {}, false};
  vi = id;
  return status;
}

ViStatus ReopeningVisa::viSetAttribute(ViSession vi, ViAttr attribute, std::uint64_t value) {
  {
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(vi);
    if (it != sessions_.end()) {
      auto& list = it->second.attributes;
      list.erase(std::remove_if(list.begin(), list.end(),
                                [&](const auto& a) { return a.first == attribute; }),
                 list.end());
      list.emplace_back(attribute, value);
    }
  }
  return inner_->viSetAttribute(Library(vi), attribute, value);
}

ViStatus ReopeningVisa::viClear(ViSession vi) { return inner_->viClear(Library(vi)); }

ViStatus ReopeningVisa::viClose(ViSession vi) {
  ViSession library = vi;
  {
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(vi);
    if (it != sessions_.end()) {
      library = it->second.library;
      sessions_.erase(it);
    } else {
      // A resource manager: its sessions close with it.
      std::erase_if(sessions_, [vi](const auto& entry) { return entry.second.manager == vi; });
    }
  }
  return inner_->viClose(library);
}

ViStatus ReopeningVisa::Reopen(Opened& s) {
  if (s.library != 0) inner_->viClose(s.library);
  s.library = 0;
  ViSession fresh = 0;
  ViStatus status = inner_->viOpen(s.manager, s.resource, s.accessMode, s.openTimeout, fresh);
  if (status != visa_status::kSuccess) return status;  // stays marked: the next write tries again
  s.library = fresh;
  s.reopen = false;
  for (const auto& [attribute, value] : s.attributes) {
    inner_->viSetAttribute(fresh, attribute, value);
  }
  return status;
}

ViStatus ReopeningVisa::viWrite(ViSession vi, const std::string& bytes, std::uint32_t count,
                                std::uint32_t& written) {
  ViSession library = vi;
  {
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(vi);
    if (it != sessions_.end()) {
      if (it->second.reopen) {
        if (ViStatus status = Reopen(it->second); status != visa_status::kSuccess) {
          written = 0;
          return status;
        }
      }
      library = it->second.library;
    }
  }
  return inner_->viWrite(library, bytes, count, written);
}

ViStatus ReopeningVisa::viRead(ViSession vi, std::string& buffer, std::uint32_t count,
                               std::uint32_t& read) {
  ViStatus status = inner_->viRead(Library(vi), buffer, count, read);
  if (status == visa_status::kErrorTimeout) {
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(vi);
    if (it != sessions_.end()) it->second.reopen = true;
  }
  return status;
}

}  // namespace marlin
