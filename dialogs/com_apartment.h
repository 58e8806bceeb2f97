// A single-threaded COM apartment on the calling thread, for as long as the object lives.
#pragma once

#include <objbase.h>

namespace rarbatch {

// The folder picker needs one on its thread. The program's entry point holds one for the whole
// run on the user-interface thread; the picker holds one more around each dialog, which only adds
// a reference then (or initialises COM for a caller that has not) and never changes an apartment
// that is already set.
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT result_;
};

}  // namespace rarbatch
