#include "platform/windows/lock_manager.h"

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "core/memoire.h"
#include "core/string_array.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/services.h"
#include "platform/windows/vwin32.h"

template class VirtualArray<LockManager::T_VolumeLock, LockManager::T_VolumeLock const>;
template class BasicArray<LockManager::T_VolumeLock, LockManager::T_VolumeLock const>;
template class VirtualArray<LockManager::T_LogicalLock, LockManager::T_LogicalLock const>;
template class BasicArray<LockManager::T_LogicalLock, LockManager::T_LogicalLock const>;
template class VirtualArray<LockManager::T_PhysicalLock, LockManager::T_PhysicalLock const>;
template class BasicArray<LockManager::T_PhysicalLock, LockManager::T_PhysicalLock const>;

const char* const MESSAGE_ECHEC_VERROU =
    "Program cannot lock support access to avoid other program accessing it.\n"
    "This can be due to some files being used on this support, so you need\n"
    "to close programs that use these files.\n"
    "If this support is the in use system partition, you need to use\n"
    "Talvermoss from another system or from a bootable floppy or CD.";
const char* const MESSAGE_LECTURE_IMPOSSIBLE = "Program cannot read device.";

namespace {

const DWORD FSCTL_VERROUILLER = 0x90018;
const DWORD FSCTL_DEVERROUILLER = 0x9001C;
const DWORD FSCTL_DEMONTER = 0x90020;
const DWORD FSCTL_ACCES_ETENDU = 0x90083;
// Write-through, no buffering, random access, normal attributes.
const DWORD DRAPEAUX_OUVERTURE = 0xB0000080;
const DWORD ATTENTE_NOUVEL_ESSAI = 3000;

// DOS generic IOCTL minor codes (with category 48h or 08h in CH).
const uint16_t VERROUILLER_LOGIQUE = 0x4A;
const uint16_t DEVERROUILLER_LOGIQUE = 0x6A;
const uint16_t VERROUILLER_PHYSIQUE = 0x4B;
const uint16_t DEVERROUILLER_PHYSIQUE = 0x6B;

BasicArray<LockManager::T_VolumeLock, const LockManager::T_VolumeLock> verrousVolumes;
BasicArray<LockManager::T_LogicalLock, const LockManager::T_LogicalLock> verrousLogiques;
BasicArray<LockManager::T_PhysicalLock, const LockManager::T_PhysicalLock> verrousPhysiques;
bool lettresDejaVerrouillees[32];
StringArray cheminsDejaVerrouilles;
bool liberationEnregistree = false;

// The first lock of the process registers the release of every lock at exit
// (once: the exit functions run at most once, at the end).
void enregistrerLiberation() {
  TRACER_APPEL();
  if (liberationEnregistree) return;
  liberationEnregistree = true;
  ajouterFonctionSortie(LockManager::libererTout);
}

HANDLE ouvrirVolume(const char* chemin, bool* lectureSeule) {
  TRACER_APPEL();
  HANDLE h = appelsWindows.CreateFileA(chemin, GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       DRAPEAUX_OUVERTURE, nullptr);
  if (h != INVALID_HANDLE_VALUE) return h;
  h = appelsWindows.CreateFileA(chemin, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, DRAPEAUX_OUVERTURE, nullptr);
  if (h != INVALID_HANDLE_VALUE) *lectureSeule = true;
  return h;
}

bool controle(HANDLE h, DWORD code) {
  TRACER_APPEL();
  DWORD rendus = 0;
  return appelsWindows.DeviceIoControl(h, code, nullptr, 0, nullptr, 0, &rendus, nullptr) != FALSE;
}

// FSCTL_LOCK_VOLUME, once more after 3 s for a volume this run locked
// before; on refusal the handle is closed and the code kept for GetLastError.
bool verrouillerHandle(HANDLE h, bool dejaVerrouille) {
  TRACER_APPEL();
  appelsWindows.FlushFileBuffers(h);
  appelsWindows.SetLastError(0);
  bool pris = controle(h, FSCTL_VERROUILLER);
  if (!pris && dejaVerrouille) {
    appelsWindows.Sleep(ATTENTE_NOUVEL_ESSAI);
    pris = controle(h, FSCTL_VERROUILLER);
  }
  if (!pris) {
    DWORD code = appelsWindows.GetLastError();
    appelsWindows.CloseHandle(h);
    appelsWindows.SetLastError(code);
    return false;
  }
  controle(h, FSCTL_ACCES_ETENDU);
  return true;
}

void relacherHandle(HANDLE h) {
  TRACER_APPEL();
  appelsWindows.FlushFileBuffers(h);
  controle(h, FSCTL_DEMONTER);
  controle(h, FSCTL_DEVERROUILLER);
  appelsWindows.CloseHandle(h);
}

// One int 21h 440Dh call of the lock family; true unless carry is set.
bool appelVerrouDOS(uint8_t lecteur, bool forme48, uint16_t mineur, uint16_t permissions,
                    uint32_t* ax) {
  TRACER_APPEL();
  DIOC_REGISTERS r;
  memset(&r, 0, sizeof r);
  r.reg_EAX = 0x440D;
  r.reg_EBX = lecteur;  // BH = 0: lock level 0
  r.reg_ECX = static_cast<uint32_t>((forme48 ? 0x4800 : 0x0800) | mineur);
  r.reg_EDX = permissions;
  appelerInterruption(0x21, &r);
  if (ax != nullptr) *ax = r.reg_EAX & 0xFFFF;
  return (r.reg_Flags & DRAPEAU_RETENUE) == 0;
}

// The two 9x lock calls (permissions 0 then 4), the 48h form first and the
// 08h one when it is refused. False with the DOS code in the last error.
bool verrouillerDOS(uint8_t lecteur, uint16_t verrouiller, uint16_t deverrouiller, bool* forme48) {
  TRACER_APPEL();
  uint32_t ax = 0;
  *forme48 = true;
  if (!appelVerrouDOS(lecteur, true, verrouiller, 0, &ax)) {
    *forme48 = false;
    if (!appelVerrouDOS(lecteur, false, verrouiller, 0, &ax)) {
      appelsWindows.SetLastError(ax);
      return false;
    }
  }
  if (!appelVerrouDOS(lecteur, *forme48, verrouiller, 4, &ax)) {
    appelVerrouDOS(lecteur, *forme48, deverrouiller, 0, nullptr);
    appelsWindows.SetLastError(ax);
    return false;
  }
  return true;
}

bool memeCle(const T_AccesDisque& a, const T_AccesDisque* b) {
  return estWindowsNT() ? a.handle == b->handle : (a.lecteur & 0xFF) == (b->lecteur & 0xFF);
}

}  // namespace

const BasicArray<LockManager::T_VolumeLock, const LockManager::T_VolumeLock>&
LockManager::volumeLocks() {
  return verrousVolumes;
}

const BasicArray<LockManager::T_LogicalLock, const LockManager::T_LogicalLock>&
LockManager::logicalLocks() {
  return verrousLogiques;
}

const BasicArray<LockManager::T_PhysicalLock, const LockManager::T_PhysicalLock>&
LockManager::physicalLocks() {
  return verrousPhysiques;
}

// ---------------------------------------------------------------- volumes

size_t LockManager::findVolumeLetter(char letter) {
  TRACER_APPEL();
  size_t i = 0;
  while (i < verrousVolumes.count() && verrousVolumes[i].letter != letter) ++i;
  return i;
}

size_t LockManager::findVolume(const T_AccesDisque* key) {
  TRACER_APPEL();
  size_t i = 0;
  while (i < verrousVolumes.count() && !memeCle(verrousVolumes[i].key, key)) ++i;
  return i;
}

void LockManager::handleOfVolumeLetter(T_AccesDisque* key, char letter) {
  TRACER_APPEL();
  size_t i = findVolumeLetter(letter);
  if (i < verrousVolumes.count()) {
    *key = verrousVolumes[i].key;
  } else {
    key->lecteur = 0;
    key->handle = INVALID_HANDLE_VALUE;
  }
}

const char* LockManager::lockVolume(char letter, T_AccesDisque* key, bool* fat32Form,
                                    bool* readOnly) {
  TRACER_APPEL();
  *fat32Form = false;
  *readOnly = false;
  key->lecteur = static_cast<uint8_t>(letter);
  key->handle = INVALID_HANDLE_VALUE;
  size_t i = findVolumeLetter(letter);
  if (i < verrousVolumes.count()) {
    T_VolumeLock& v = verrousVolumes[i];
    *key = v.key;
    *fat32Form = v.fat32Form;
    *readOnly = v.readOnly;
    ++v.count;
    return nullptr;
  }
  unsigned indice = static_cast<unsigned char>(letter) - 'A';
  bool dansPlage = indice < 32;
  if (estWindowsNT()) {
    char chemin[7];
    formaterMessage(chemin, sizeof chemin, "\\\\.\\%c:", letter);
    HANDLE h = ouvrirVolume(chemin, readOnly);
    if (h == INVALID_HANDLE_VALUE) return MESSAGE_LECTURE_IMPOSSIBLE;
    key->handle = h;
    if (!verrouillerHandle(h, dansPlage && lettresDejaVerrouillees[indice])) {
      key->handle = INVALID_HANDLE_VALUE;
      return MESSAGE_ECHEC_VERROU;
    }
    if (dansPlage) lettresDejaVerrouillees[indice] = true;
  } else {
    if (!verrouillerDOS(static_cast<uint8_t>(letter - 64), VERROUILLER_LOGIQUE,
                        DEVERROUILLER_LOGIQUE, fat32Form))
      return MESSAGE_ECHEC_VERROU;
  }
  T_VolumeLock v = {1, *key, *fat32Form, *readOnly, letter};
  verrousVolumes.add(v);
  enregistrerLiberation();
  return nullptr;
}

void LockManager::unlockVolumeIndex(size_t index) {
  TRACER_APPEL();
  if (index >= verrousVolumes.count()) return;
  T_VolumeLock& v = verrousVolumes[index];
  if (--v.count > 0) return;
  if (estWindowsNT()) {
    relacherHandle(v.key.handle);
  } else {
    uint8_t lecteur = static_cast<uint8_t>(v.letter - 64);
    appelVerrouDOS(lecteur, v.fat32Form, DEVERROUILLER_LOGIQUE, 0, nullptr);
    appelVerrouDOS(lecteur, v.fat32Form, DEVERROUILLER_LOGIQUE, 0, nullptr);
  }
  verrousVolumes.remove(index);
}

void LockManager::unlockVolumeLetter(char letter) { unlockVolumeIndex(findVolumeLetter(letter)); }

void LockManager::unlockVolume(const T_AccesDisque* key) { unlockVolumeIndex(findVolume(key)); }

// ---------------------------------------------------------------- paths

size_t LockManager::findLogicalPath(const char* path) {
  TRACER_APPEL();
  size_t n = verrousLogiques.count();
  if (path == nullptr || path[0] == '\0') return n;
  size_t i = 0;
  while (i < n && strcmp(verrousLogiques[i].path, path) != 0) ++i;
  return i;
}

HANDLE LockManager::fdOfLogicalPath(const char* path) {
  TRACER_APPEL();
  size_t i = findLogicalPath(path);
  return i < verrousLogiques.count() ? verrousLogiques[i].handle : INVALID_HANDLE_VALUE;
}

const char* LockManager::lockLogical(const char* path, HANDLE* handle, bool* readOnly) {
  TRACER_APPEL();
  *readOnly = false;
  *handle = INVALID_HANDLE_VALUE;
  size_t i = findLogicalPath(path);
  if (i < verrousLogiques.count()) {
    T_LogicalLock& l = verrousLogiques[i];
    *handle = l.handle;
    *readOnly = l.readOnly;
    ++l.count;
    return nullptr;
  }
  if (path == nullptr || path[0] == '\0') return MESSAGE_LECTURE_IMPOSSIBLE;
  HANDLE h = ouvrirVolume(path, readOnly);
  if (h == INVALID_HANDLE_VALUE) return MESSAGE_LECTURE_IMPOSSIBLE;
  bool dejaVu = cheminsDejaVerrouilles.find(path, 0) < cheminsDejaVerrouilles.count();
  if (!verrouillerHandle(h, dejaVu)) return MESSAGE_ECHEC_VERROU;
  *handle = h;
  T_LogicalLock l = {1, h, *readOnly, xstrdup(path)};
  verrousLogiques.add(l);
  if (!dejaVu) cheminsDejaVerrouilles.add(path);
  enregistrerLiberation();
  return nullptr;
}

void LockManager::unlockLogicalPath(const char* path) {
  TRACER_APPEL();
  size_t i = findLogicalPath(path);
  if (i >= verrousLogiques.count()) return;
  T_LogicalLock& l = verrousLogiques[i];
  if (--l.count > 0) return;
  relacherHandle(l.handle);
  free(l.path);
  verrousLogiques.remove(i);
}

// ---------------------------------------------------------------- disks

size_t LockManager::findPhysical(const T_AccesDisque* key) {
  TRACER_APPEL();
  size_t i = 0;
  while (i < verrousPhysiques.count() && !memeCle(verrousPhysiques[i].key, key)) ++i;
  return i;
}

const char* LockManager::lockPhysical(const T_AccesDisque* key, bool readOnly) {
  TRACER_APPEL();
  size_t i = findPhysical(key);
  if (i < verrousPhysiques.count() && (readOnly || !verrousPhysiques[i].readOnly)) {
    ++verrousPhysiques[i].count;
    return nullptr;
  }
  // NT locks volumes, never whole disks.
  if (estWindowsNT()) return nullptr;
  bool forme48 = false;
  if (!verrouillerDOS(static_cast<uint8_t>(key->lecteur & 0xFF), VERROUILLER_PHYSIQUE,
                      DEVERROUILLER_PHYSIQUE, &forme48))
    return MESSAGE_ECHEC_VERROU;
  if (i < verrousPhysiques.count()) {
    // A read lock taken again for writing: the older pair of DOS locks is
    // given back, so the last unlock has exactly one pair to release.
    T_PhysicalLock& p = verrousPhysiques[i];
    uint8_t lecteur = static_cast<uint8_t>(p.key.lecteur & 0xFF);
    appelVerrouDOS(lecteur, p.fat32Form, DEVERROUILLER_PHYSIQUE, 0, nullptr);
    appelVerrouDOS(lecteur, p.fat32Form, DEVERROUILLER_PHYSIQUE, 0, nullptr);
    p.fat32Form = forme48;
    p.readOnly = false;
    ++p.count;
    return nullptr;
  }
  T_PhysicalLock p = {1, forme48, readOnly, *key};
  verrousPhysiques.add(p);
  enregistrerLiberation();
  return nullptr;
}

void LockManager::unlockPhysical(const T_AccesDisque* key) {
  TRACER_APPEL();
  size_t i = findPhysical(key);
  if (i >= verrousPhysiques.count()) return;
  T_PhysicalLock& p = verrousPhysiques[i];
  if (--p.count > 0) return;
  if (!estWindowsNT()) {
    uint8_t lecteur = static_cast<uint8_t>(p.key.lecteur & 0xFF);
    appelVerrouDOS(lecteur, p.fat32Form, DEVERROUILLER_PHYSIQUE, 0, nullptr);
    appelVerrouDOS(lecteur, p.fat32Form, DEVERROUILLER_PHYSIQUE, 0, nullptr);
  }
  verrousPhysiques.remove(i);
}

bool LockManager::cleValide(const T_AccesDisque* key) {
  TRACER_APPEL();
  if (estWindowsNT()) return key->handle != INVALID_HANDLE_VALUE;
  uint8_t octet = static_cast<uint8_t>(key->lecteur & 0xFF);
  return octet >= 'A' && octet < 'A' + 32;
}

void LockManager::libererTout() {
  TRACER_APPEL();
  while (verrousVolumes.count() > 0) {
    verrousVolumes[verrousVolumes.count() - 1].count = 1;
    unlockVolumeIndex(verrousVolumes.count() - 1);
  }
  while (verrousLogiques.count() > 0) {
    T_LogicalLock& l = verrousLogiques[verrousLogiques.count() - 1];
    l.count = 1;
    unlockLogicalPath(l.path);
  }
  while (verrousPhysiques.count() > 0) {
    T_PhysicalLock& p = verrousPhysiques[verrousPhysiques.count() - 1];
    p.count = 1;
    T_AccesDisque cle = p.key;
    unlockPhysical(&cle);
  }
}
