// Every array element type of the Linux layer, one complete set of members
// each. Later element types of this layer are added here.
#include "core/tableau.h"
#include "platform/linux/lock_manager.h"

template class VirtualArray<LockManager::T_LogicalLock, LockManager::T_LogicalLock const>;
template class BasicArray<LockManager::T_LogicalLock, LockManager::T_LogicalLock const>;
template class VirtualArray<LockManager::T_PhysicalLock, LockManager::T_PhysicalLock const>;
template class BasicArray<LockManager::T_PhysicalLock, LockManager::T_PhysicalLock const>;
