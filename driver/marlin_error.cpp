#include "driver/marlin_error.h"

#include <exception>
#include <new>

namespace marlin {

MarlinError CurrentError() {
  try {
    throw;
  } catch (const MarlinError& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return {errors::kOutOfMemory, "Out of memory"};
  } catch (const std::exception& e) {
    return {errors::kInternal, std::string("Internal error: ") + e.what()};
  } catch (...) {
    return {errors::kInternal, "Internal error"};
  }
}

}  // namespace marlin
