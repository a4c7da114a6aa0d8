// Every array element type of the storage model, one complete set of
// members each. Later storage element types (partitions...) are added here.
#include "core/tableau.h"
#include "storage/disque.h"
#include "storage/support_bloc.h"
#include "storage/support_bloc_manager.h"

template class VirtualArray<Support_Bloc*, Support_Bloc* const>;
template class BasicArray<Support_Bloc*, Support_Bloc* const>;
template class VirtualArray<Support_Bloc::T_HeadsSectorsNumber, Support_Bloc::T_HeadsSectorsNumber const>;
template class BasicArray<Support_Bloc::T_HeadsSectorsNumber, Support_Bloc::T_HeadsSectorsNumber const>;
template class VirtualArray<SupportBlocManager::T_ListeSupport, SupportBlocManager::T_ListeSupport const>;
template class BasicArray<SupportBlocManager::T_ListeSupport, SupportBlocManager::T_ListeSupport const>;
template class VirtualArray<SupportBlocManager::CachedSupportInfo*,
                            SupportBlocManager::CachedSupportInfo* const>;
template class BasicArray<SupportBlocManager::CachedSupportInfo*,
                          SupportBlocManager::CachedSupportInfo* const>;
template class DeleteArray<SupportBlocManager::CachedSupportInfo>;
template class VirtualArray<Partition*, Partition* const>;
template class BasicArray<Partition*, Partition* const>;
