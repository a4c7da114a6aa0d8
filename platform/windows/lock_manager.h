// Counted locks of the Windows layer: volume locks by drive letter, logical
// locks by volume path (NT) and physical locks by disk key (9x). On NT a
// volume is opened and locked with FSCTL_LOCK_VOLUME; on 9x a letter or a
// disk is locked through the DOS generic IOCTL (int 21h 440Dh). Locking what
// is already locked only adds a use; the last unlock releases. Every lock
// still held at exit is released by an exit function.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/tableau.h"
#include "platform/windows/transferts.h"

// The lock-failure text (five lines, no final newline).
extern const char* const MESSAGE_ECHEC_VERROU;
extern const char* const MESSAGE_LECTURE_IMPOSSIBLE;

class LockManager {
 public:
  struct T_VolumeLock {
    uint32_t count;
    T_AccesDisque key;  // letter in the low byte; handle on NT
    bool fat32Form;     // 9x: taken (and released) with category 48h
    bool readOnly;
    char letter;
  };
  struct T_LogicalLock {
    uint32_t count;
    HANDLE handle;  // owned
    bool readOnly;
    char* path;  // owned copy
  };
  struct T_PhysicalLock {
    uint32_t count;
    bool fat32Form;
    bool readOnly;
    T_AccesDisque key;
  };

  // Null when held, else MESSAGE_ECHEC_VERROU (the error code left for
  // GetLastError) or MESSAGE_LECTURE_IMPOSSIBLE.
  static const char* lockVolume(char letter, T_AccesDisque* key, bool* fat32Form, bool* readOnly);
  static void unlockVolumeLetter(char letter);
  static void unlockVolume(const T_AccesDisque* key);
  static void unlockVolumeIndex(size_t index);
  static size_t findVolumeLetter(char letter);
  static size_t findVolume(const T_AccesDisque* key);
  // {0, INVALID_HANDLE_VALUE} when the letter is not locked.
  static void handleOfVolumeLetter(T_AccesDisque* key, char letter);

  static const char* lockLogical(const char* path, HANDLE* handle, bool* readOnly);
  static void unlockLogicalPath(const char* path);
  static size_t findLogicalPath(const char* path);
  static HANDLE fdOfLogicalPath(const char* path);

  static const char* lockPhysical(const T_AccesDisque* key, bool readOnly);
  static void unlockPhysical(const T_AccesDisque* key);
  static size_t findPhysical(const T_AccesDisque* key);

  static bool cleValide(const T_AccesDisque* key);

  // Exit function: every lock still held is released.
  static void libererTout();

  // The tables, in the order the locks were first taken.
  static const BasicArray<T_VolumeLock, const T_VolumeLock>& volumeLocks();
  static const BasicArray<T_LogicalLock, const T_LogicalLock>& logicalLocks();
  static const BasicArray<T_PhysicalLock, const T_PhysicalLock>& physicalLocks();
};

// Instantiated once, in lock_manager.cpp.
extern template class VirtualArray<LockManager::T_VolumeLock, LockManager::T_VolumeLock const>;
extern template class BasicArray<LockManager::T_VolumeLock, LockManager::T_VolumeLock const>;
extern template class VirtualArray<LockManager::T_LogicalLock, LockManager::T_LogicalLock const>;
extern template class BasicArray<LockManager::T_LogicalLock, LockManager::T_LogicalLock const>;
extern template class VirtualArray<LockManager::T_PhysicalLock, LockManager::T_PhysicalLock const>;
extern template class BasicArray<LockManager::T_PhysicalLock, LockManager::T_PhysicalLock const>;
