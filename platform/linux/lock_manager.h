// Counted locks on block devices: physical locks on a descriptor the caller
// owns, logical locks by path (a block device or an image file) on a
// descriptor opened here with an exclusive open and refused while the
// device, its disk or a partition is mounted.
// Locking what is already locked only adds a use; the last unlock releases.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/tableau.h"

// The lock-failure text (six lines, no final newline).
extern const char* const MESSAGE_ECHEC_VERROU;
extern const char* const MESSAGE_LECTURE_IMPOSSIBLE;
extern const char* const MESSAGE_SUPPORT_MONTE;

class LockManager {
 public:
  struct T_PhysicalLock {
    int32_t count;
    bool flag;  // always false on Linux
    bool readOnly;
    int32_t fd;  // not owned
  };
  struct T_LogicalLock {
    int32_t count;
    int32_t fd;  // owned
    bool flag;   // always false on Linux
    bool readOnly;
    char* path;  // owned copy
  };

  // Null when held, else one of the messages above (constants).
  static const char* lockPhysical(int32_t fd, bool readOnly);
  static void unlockPhysical(int32_t fd);
  static size_t findPhysical(int32_t fd);

  static const char* lockLogical(const char* path, int32_t& fd, bool& flag, bool& readOnly);
  static void unlockLogicalPath(const char* path);
  static void unlockLogical(int32_t fd);
  static void unlockLogicalIndex(size_t index);
  static size_t findLogicalPath(const char* path);
  static size_t findLogical(int32_t fd);
  static int32_t fdOfLogicalPath(const char* path);

  static bool cleValide(int32_t cle) { return cle >= 0; }

  // The tables, in the order the locks were first taken.
  static const BasicArray<T_PhysicalLock, const T_PhysicalLock>& physicalLocks();
  static const BasicArray<T_LogicalLock, const T_LogicalLock>& logicalLocks();
};

// Instantiated once, in tableaux_linux.cpp.
extern template class VirtualArray<LockManager::T_LogicalLock, LockManager::T_LogicalLock const>;
extern template class BasicArray<LockManager::T_LogicalLock, LockManager::T_LogicalLock const>;
extern template class VirtualArray<LockManager::T_PhysicalLock, LockManager::T_PhysicalLock const>;
extern template class BasicArray<LockManager::T_PhysicalLock, LockManager::T_PhysicalLock const>;
