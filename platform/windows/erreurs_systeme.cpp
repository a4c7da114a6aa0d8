#include "platform/windows/erreurs_systeme.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/transferts.h"
#include "platform/windows/vwin32.h"
#include "platform/windows/lock_manager.h"
#include "platform/windows/services.h"
#include "storage/plateforme.h"

namespace {

uint32_t numeroErreur = 0;
bool drapeauDOS = false;
char texteFormate[100];

// Entries written with the code itself.
const char* const FORMAT_LECTEUR = "invalid drive (0x%04x)";
const char* const FORMAT_RESERVE = "reserved (0x%04x)";
const char* const FORMAT_RESEAU = "network name not found (0x%04x)";
const char* const FORMAT_SUPPORT_INCERTAIN = "uncertain media/error 124 mapping (0x%04x)";
const char* const FORMAT_CORRESPONDANCE = "error 124 mapping (0x%04x)";
const char* const FORMAT_INCONNU = "unknown error code (0x%04x)";

bool estFormat(const char* texte) {
  return texte == FORMAT_LECTEUR || texte == FORMAT_RESERVE || texte == FORMAT_RESEAU ||
         texte == FORMAT_SUPPORT_INCERTAIN || texte == FORMAT_CORRESPONDANCE ||
         texte == FORMAT_INCONNU;
}

// DOS extended error codes 0 to 255; null for the unlisted ones.
const char* const textesDOS[256] = {
    /*   0 */ "no error",
    /*   1 */ "function number invalid",
    /*   2 */ "file not found",
    /*   3 */ "path not found",
    /*   4 */ "too many open files (no handles available)",
    /*   5 */ "access denied",
    /*   6 */ "invalid handle",
    /*   7 */ "memory control block destroyed",
    /*   8 */ "insufficient memory",
    /*   9 */ "memory block address invalid",
    /*  10 */ "environment invalid (usually >32K in length)",
    /*  11 */ "format invalid",
    /*  12 */ "access code invalid",
    /*  13 */ "data invalid",
    /*  14 */ "reserved/fixup overflow",
    /*  15 */ FORMAT_LECTEUR,
    /*  16 */ "attempted to remove current directory",
    /*  17 */ "not same device",
    /*  18 */ "no more files",
    /*  19 */ "disk write-protected",
    /*  20 */ "unknown unit",
    /*  21 */ "drive not ready",
    /*  22 */ "unknown command",
    /*  23 */ "data error (CRC)",
    /*  24 */ "bad request structure length",
    /*  25 */ "seek error",
    /*  26 */ "unknown media type (non-DOS disk)",
    /*  27 */ "sector not found",
    /*  28 */ "printer out of paper",
    /*  29 */ "write fault",
    /*  30 */ "read fault",
    /*  31 */ "general failure",
    /*  32 */ "sharing violation",
    /*  33 */ "lock violation",
    /*  34 */ "disk change invalid",
    /*  35 */ "FCB unavailable/bad FAT",
    /*  36 */ "sharing buffer overflow",
    /*  37 */ "code page mismatch",
    /*  38 */ "cannot complete file operation (EOF/out of input)",
    /*  39 */ "insufficient disk space",
    /*  40 */ FORMAT_RESERVE,
    /*  41 */ FORMAT_RESERVE,
    /*  42 */ FORMAT_RESERVE,
    /*  43 */ FORMAT_RESERVE,
    /*  44 */ FORMAT_RESERVE,
    /*  45 */ FORMAT_RESERVE,
    /*  46 */ FORMAT_RESERVE,
    /*  47 */ FORMAT_RESERVE,
    /*  48 */ FORMAT_RESERVE,
    /*  49 */ FORMAT_RESERVE,
    /*  50 */ "network request not supported",
    /*  51 */ "remote computer not listening",
    /*  52 */ "duplicate name on network",
    /*  53 */ FORMAT_RESEAU,
    /*  54 */ "network busy",
    /*  55 */ "network device no longer exists",
    /*  56 */ "network BIOS command limit exceeded",
    /*  57 */ "network adapter hardware error",
    /*  58 */ "incorrect response from network",
    /*  59 */ "unexpected network error",
    /*  60 */ "incompatible remote adapter",
    /*  61 */ "print queue full",
    /*  62 */ "queue not full",
    /*  63 */ "not enough space to print file",
    /*  64 */ "network name was deleted",
    /*  65 */ "network access denied/codepage switching not possible",
    /*  66 */ "network device type incorrect",
    /*  67 */ FORMAT_RESEAU,
    /*  68 */ "network name limit exceeded",
    /*  69 */ "network BIOS session limit exceeded",
    /*  70 */ "temporarily paused",
    /*  71 */ "network request not accepted",
    /*  72 */ "network print/disk redirection paused",
    /*  73 */ "network software not installed/invalid network version",
    /*  74 */ "unexpected adapter close/account expired",
    /*  75 */ "password expired",
    /*  76 */ "login attempt invalid at this time",
    /*  77 */ "disk limit exceeded on network node",
    /*  78 */ "not logged in to network node",
    /*  79 */ FORMAT_RESERVE,
    /*  80 */ "file exists",
    /*  81 */ "duplicated FCB",
    /*  82 */ "cannot make directory",
    /*  83 */ "fail on INT 24h",
    /*  84 */ "too many redirections/out of structures",
    /*  85 */ "duplicate redirection/already assigned",
    /*  86 */ "invalid password",
    /*  87 */ "invalid parameter",
    /*  88 */ "network write fault",
    /*  89 */ "function not supported on network/no process slots available",
    /*  90 */ "required system component not installed/not frozen",
    /*  91 */ "timer server table overflowed",
    /*  92 */ "duplicate in timer service table",
    /*  93 */ "no items to work on",
    /*  94 */ nullptr,
    /*  95 */ "interrupted/invalid system call",
    /*  96 */ nullptr,
    /*  97 */ nullptr,
    /*  98 */ nullptr,
    /*  99 */ nullptr,
    /* 100 */ "unknown error/open semaphore limit exceeded",
    /* 101 */ "not ready/exclusive semaphore is already owned",
    /* 102 */ "EMS memory no longer valid/semaphore was set when close attempted",
    /* 103 */ "not High Sierra or ISO-9660 format/too many exclusive semaphore requests",
    /* 104 */ "door open/operation invalid from interrupt handler",
    /* 105 */ "semaphore owner died",
    /* 106 */ "semaphore limit exceeded",
    /* 107 */ "insert drive B: disk into A:/disk changed",
    /* 108 */ "drive locked by another process",
    /* 109 */ "broken pipe",
    /* 110 */ "pipe open/create failed",
    /* 111 */ "pipe buffer overflowed",
    /* 112 */ "disk full",
    /* 113 */ "no more search handles",
    /* 114 */ "invalid target handle for dup2",
    /* 115 */ "bad user virtual address/protection violation",
    /* 116 */ "VIOKBD request/error on console I/O",
    /* 117 */ "unknown category code for IOCTL",
    /* 118 */ "invalid value for verify flag",
    /* 119 */ "level four driver not found by DOS IOCTL",
    /* 120 */ "invalid/unimplemented function number",
    /* 121 */ "semaphore timeout",
    /* 122 */ "buffer too small to hold return data",
    /* 123 */ "invalid character or bad file-system name",
    /* 124 */ "unimplemented information level",
    /* 125 */ "no volume label found",
    /* 126 */ "module handle not found",
    /* 127 */ "procedure address not found",
    /* 128 */ "cwait found no children",
    /* 129 */ "cwait children still running",
    /* 130 */ "invalid operation for direct disk-access handle",
    /* 131 */ "attempted seek to negative offset",
    /* 132 */ "attempted to seek on device or pipe",
    /* 133 */ "drive already has JOINed drives",
    /* 134 */ "drive is already JOINed",
    /* 135 */ "drive is already SUBSTed",
    /* 136 */ "can not delete drive which is not JOINed",
    /* 137 */ "can not delete drive which is not SUBSTed",
    /* 138 */ "can not JOIN to a JOINed drive",
    /* 139 */ "can not SUBST to a SUBSTed drive",
    /* 140 */ "can not JOIN to a SUBSTed drive",
    /* 141 */ "can not SUBST to a JOINed drive",
    /* 142 */ "drive is busy",
    /* 143 */ "can not JOIN/SUBST to same drive",
    /* 144 */ "directory must not be root directory",
    /* 145 */ "can only JOIN to empty directory",
    /* 146 */ "path is already in use for SUBST",
    /* 147 */ "path is already in use for JOIN",
    /* 148 */ "path is in use by another process",
    /* 149 */ "directory previously SUBSTituted",
    /* 150 */ "system trace error",
    /* 151 */ "invalid event count for DosMuxSemWait",
    /* 152 */ "too many waiting on mutex",
    /* 153 */ "invalid list format",
    /* 154 */ "volume label too large",
    /* 155 */ "unable to create another TCB",
    /* 156 */ "signal refused",
    /* 157 */ "segment discarded",
    /* 158 */ "segment not locked",
    /* 159 */ "invalid thread-ID address",
    /* 160 */ "bad arguments/bad environment pointer",
    /* 161 */ "invalid pathname passed to EXEC",
    /* 162 */ "signal already pending",
    /* 163 */ FORMAT_SUPPORT_INCERTAIN,
    /* 164 */ "maximum number of threads reached/no more process slots",
    /* 165 */ FORMAT_CORRESPONDANCE,
    /* 166 */ nullptr,
    /* 167 */ nullptr,
    /* 168 */ nullptr,
    /* 169 */ nullptr,
    /* 170 */ nullptr,
    /* 171 */ nullptr,
    /* 172 */ nullptr,
    /* 173 */ nullptr,
    /* 174 */ nullptr,
    /* 175 */ nullptr,
    /* 176 */ "volume is not locked",
    /* 177 */ "volume is locked in drive",
    /* 178 */ "volume is not removable",
    /* 179 */ nullptr,
    /* 180 */ "lock count has been exceeded/invalid segment number",
    /* 181 */ "a valid eject request failed/invalid call gate",
    /* 182 */ "invalid ordinal",
    /* 183 */ "shared segment already exists",
    /* 184 */ "no child process to wait for",
    /* 185 */ "nowait specified and child still running",
    /* 186 */ "invalid flag number",
    /* 187 */ "semaphore does not exist",
    /* 188 */ "invalid starting code segment",
    /* 189 */ "invalid stack segment",
    /* 190 */ "invalid module type (DLL can not be used as application)",
    /* 191 */ "invalid EXE signature",
    /* 192 */ "EXE marked invalid",
    /* 193 */ "bad EXE format (e.g. DOS-mode program)",
    /* 194 */ "iterated data exceeds 64K",
    /* 195 */ "invalid minimum allocation size",
    /* 196 */ "dynamic link from invalid ring",
    /* 197 */ "IOPL not enabled",
    /* 198 */ "invalid segment descriptor privilege level",
    /* 199 */ "automatic data segment exceeds 64K",
    /* 200 */ "ring2 segment must be moveable",
    /* 201 */ "relocation chain exceeds segment limit",
    /* 202 */ "infinite loop in relocation chain",
    /* 203 */ "environment variable not found",
    /* 204 */ "not current country",
    /* 205 */ "no signal sent",
    /* 206 */ "file name not 8.3",
    /* 207 */ "ring2 stack in use",
    /* 208 */ "meta expansion is too long",
    /* 209 */ "invalid signal number",
    /* 210 */ "inactive thread",
    /* 211 */ "file system information not available",
    /* 212 */ "locked error",
    /* 213 */ "attempted to execute non-family API call in DOS mode",
    /* 214 */ "too many modules",
    /* 215 */ "nesting not allowed",
    /* 216 */ nullptr,
    /* 217 */ nullptr,
    /* 218 */ nullptr,
    /* 219 */ nullptr,
    /* 220 */ nullptr,
    /* 221 */ nullptr,
    /* 222 */ nullptr,
    /* 223 */ nullptr,
    /* 224 */ nullptr,
    /* 225 */ nullptr,
    /* 226 */ nullptr,
    /* 227 */ nullptr,
    /* 228 */ nullptr,
    /* 229 */ nullptr,
    /* 230 */ "non-existent pipe or bad operation",
    /* 231 */ "pipe is busy",
    /* 232 */ "no data available for nonblocking read",
    /* 233 */ "pipe disconnected by server",
    /* 234 */ "more data available",
    /* 235 */ nullptr,
    /* 236 */ nullptr,
    /* 237 */ nullptr,
    /* 238 */ nullptr,
    /* 239 */ nullptr,
    /* 240 */ nullptr,
    /* 241 */ nullptr,
    /* 242 */ nullptr,
    /* 243 */ nullptr,
    /* 244 */ nullptr,
    /* 245 */ nullptr,
    /* 246 */ nullptr,
    /* 247 */ nullptr,
    /* 248 */ nullptr,
    /* 249 */ nullptr,
    /* 250 */ nullptr,
    /* 251 */ nullptr,
    /* 252 */ nullptr,
    /* 253 */ nullptr,
    /* 254 */ nullptr,
    /* 255 */ FORMAT_LECTEUR,
};

// FORMAT_MESSAGE_ALLOCATE_BUFFER | IGNORE_INSERTS | FROM_SYSTEM, lines of 79.
const DWORD DRAPEAUX_MESSAGE = 0x134F;

void afficherTexteSysteme() {
  TRACER_APPEL();
  char* tampon = nullptr;
  DWORD n = appelsWindows.FormatMessageA(DRAPEAUX_MESSAGE, nullptr, numeroErreur, 0,
                                         reinterpret_cast<LPSTR>(&tampon), 1, nullptr);
  if (n == 0) {
    afficherMessage("Cannot get error message (%ld).\n",
                    static_cast<long>(appelsWindows.GetLastError()));
    if (tampon != nullptr) appelsWindows.LocalFree(tampon);
    return;
  }
  if (tampon == nullptr) return;
  char* copie = _strdup(tampon);
  if (copie != nullptr) {
    size_t l = strlen(copie);
    if (l > 0 && copie[l - 1] == '\n') {
      copie[l - 1] = '\0';
      if (l >= 2 && copie[l - 2] == '\r') copie[l - 2] = '\0';
    } else if (l > 0 && copie[l - 1] == '\r') {
      copie[l - 1] = '\0';
    }
    afficherMessage("Error message: %s\n", copie);
    free(copie);
  } else {
    afficherMessage("Error message: %s\n", tampon);
  }
  appelsWindows.LocalFree(tampon);
}

// One generic IOCTL 440Dh of the open-file enumeration; false on carry.
bool enumererFichier(uint16_t forme, uint8_t lecteur, unsigned index, char* nom, size_t taille) {
  TRACER_APPEL();
  DIOC_REGISTERS r;
  memset(&r, 0, sizeof r);
  memset(nom, 0, taille);
  r.reg_EAX = 0x440D;
  r.reg_ECX = forme;
  r.reg_EBX = lecteur;
  r.reg_EDX = adresseLineaire(nom);
  r.reg_ESI = index;
  r.reg_EDI = 0;
  appelerInterruption(0x21, &r);
  return (r.reg_Flags & DRAPEAU_RETENUE) == 0;
}

}  // namespace

void memoriserErreurSysteme() {
  TRACER_APPEL();
  numeroErreur = appelsWindows.GetLastError();
  drapeauDOS = false;
}

void memoriserErreurDOS() {
  TRACER_APPEL();
  numeroErreur = appelsWindows.GetLastError();
  drapeauDOS = true;
}

void fixerErreurDOS(uint16_t code) {
  TRACER_APPEL();
  numeroErreur = code;
  drapeauDOS = true;
}

uint32_t erreurSysteme() { return numeroErreur; }
bool erreurDOS() { return drapeauDOS; }

const char* texteErreurDOS(uint32_t code) {
  TRACER_APPEL();
  const char* texte = code < 256 ? textesDOS[code] : nullptr;
  if (texte == nullptr) texte = FORMAT_INCONNU;
  if (!estFormat(texte)) return texte;
  formaterMessage(texteFormate, sizeof texteFormate, texte, code);
  return texteFormate;
}

void afficherErreurSysteme() {
  TRACER_APPEL();
  afficherMessage("Error number: %d.\n", static_cast<int>(numeroErreur));
  if (!estWindowsNT() && drapeauDOS) {
    afficherMessage("Error message: %s.\n", texteErreurDOS(numeroErreur));
    return;
  }
  afficherTexteSysteme();
}

void afficherFichiersOuverts(char lettre, const char* texte) {
  TRACER_APPEL();
  if (texte == nullptr || strcmp(texte, MESSAGE_ECHEC_VERROU) != 0 || estWindowsNT()) return;
  uint8_t lecteur = static_cast<uint8_t>(lettre - 64);
  size_t taille = static_cast<size_t>(tailleMaxTransfert()) + 1;
  char* nom = static_cast<char*>(xmalloc(taille));
  afficherMessage("List of opened files:\n");
  for (unsigned index = 0; index <= 65534; ++index) {
    if (!enumererFichier(0x486D, lecteur, index, nom, taille) &&
        !enumererFichier(0x086D, lecteur, index, nom, taille))
      break;
    if (nom[0] == '\0') break;
    afficherMessage("%s\n", nom);
  }
  free(nom);
}
