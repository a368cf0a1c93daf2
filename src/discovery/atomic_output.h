// AtomicOutput: writes the discovery file so that nobody ever finds half of it. The document
// goes to a new temporary file beside the target and takes the target's name only when it was
// written, flushed and synced completely. Used only by discovery/discovery_file.cpp.
#ifndef VXINS_DISCOVERY_ATOMIC_OUTPUT_H
#define VXINS_DISCOVERY_ATOMIC_OUTPUT_H

#include <cstdio>
#include <string>

class AtomicOutput {
 public:
  AtomicOutput() : m_fp(nullptr) {}
  ~AtomicOutput() { discard(); }
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  FILE* fp() const { return m_fp; }

  // Creates the temporary file beside target (never through a link someone planted), with the
  // permissions fopen would give it. False, logged, when it cannot be made.
  bool create(const std::string& target);

  // Finishes the temporary file and puts it in place of the target, or removes it and keeps
  // the target as it was. write_errno is the error of the first failed write, 0 if none
  // failed. True when the target now holds the new document.
  bool commit(bool write_failed, int write_errno);

 private:
  static unsigned int random_word();
  void sync_directory();
  void discard();

  FILE* m_fp;
  std::string m_target;
  std::string m_dir_prefix;
  std::string m_tmp_path;
};

#endif
