// The formatting engine: one walk over the format that feeds either a bounded
// buffer or standard output.
#include "core/format.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "core/arbre_appel.h"

namespace {

// Where the characters go. The count always grows; a buffer stores only what
// lies before its end, the console writes everything.
class Sortie {
 public:
  Sortie(char* tampon, size_t taille) : tampon_(tampon), taille_(tampon ? taille : 0) {}
  static Sortie console() { return Sortie(); }
  Sortie(const Sortie&) = delete;
  Sortie& operator=(const Sortie&) = delete;

  size_t compte() const { return position_; }

  void ecrire(const char* texte, size_t longueur) {
    TRACER_APPEL();
    if (console_) {
      // Gathered here and handed to stdout in one piece: the same bytes in
      // the same order, without the stream's per-call cost for each run.
      if (enAttente_ + longueur > sizeof attente_) vider();
      if (longueur > sizeof attente_) {
        fwrite(texte, 1, longueur, stdout);
      } else {
        memcpy(attente_ + enAttente_, texte, longueur);
        enAttente_ += longueur;
      }
    } else if (position_ < taille_) {
      size_t place = taille_ - position_;
      memcpy(tampon_ + position_, texte, longueur < place ? longueur : place);
    }
    position_ += longueur;
  }

  void repeter(char caractere, size_t nombre) {
    TRACER_APPEL();
    if (console_) {
      for (size_t reste = nombre; reste > 0;) {
        if (enAttente_ == sizeof attente_) vider();
        size_t n = sizeof attente_ - enAttente_;
        if (n > reste) n = reste;
        memset(attente_ + enAttente_, caractere, n);
        enAttente_ += n;
        reste -= n;
      }
    } else if (position_ < taille_) {
      size_t place = taille_ - position_;
      memset(tampon_ + position_, caractere, nombre < place ? nombre : place);
    }
    position_ += nombre;
  }

  // The console's gathered bytes go to stdout.
  void vider() {
    TRACER_APPEL();
    if (enAttente_ != 0) fwrite(attente_, 1, enAttente_, stdout);
    enAttente_ = 0;
  }

  // A cut output still ends in a NUL when the buffer has a byte.
  void terminer() {
    TRACER_APPEL();
    if (taille_ == 0) return;
    tampon_[position_ < taille_ ? position_ : taille_ - 1] = '\0';
  }

 private:
  Sortie() : console_(true) {}

  char* tampon_ = nullptr;
  size_t taille_ = 0;
  size_t position_ = 0;
  bool console_ = false;
  size_t enAttente_ = 0;
  char attente_[512];
};

enum class Taille { Int, Short, Char, Long, LongLong, SizeT };

struct Directive {
  char remplissage = ' ';
  bool gauche = false;
  bool espace = false;
  bool plus = false;
  bool alterne = false;
  size_t largeur = 0;
  bool avecPrecision = false;
  int precision = 0;
  unsigned nombreH = 0;
  unsigned nombreL = 0;
  bool z = false;

  Taille taille() const {
    TRACER_APPEL();
    if (z) return Taille::SizeT;
    if (nombreH >= 2) return Taille::Char;
    if (nombreH == 1) return Taille::Short;
    if (nombreL >= 2) return Taille::LongLong;
    if (nombreL == 1) return Taille::Long;
    return Taille::Int;
  }
};

const size_t LARGEUR_MAX = INT_MAX;

// width := width x 10 + digit, held below LARGEUR_MAX so it cannot wrap.
template <typename T>
T ajouterChiffre(T valeur, char chiffre, T plafond) {
  TRACER_APPEL();
  T d = static_cast<T>(chiffre - '0');
  return valeur > (plafond - d) / 10 ? plafond : static_cast<T>(valeur * 10 + d);
}

bool estChiffre(char c) { return c >= '0' && c <= '9'; }

int64_t lireSigne(va_list* arguments, Taille taille) {
  TRACER_APPEL();
  switch (taille) {
    case Taille::Char: return static_cast<signed char>(va_arg(*arguments, int));
    case Taille::Short: return static_cast<short>(va_arg(*arguments, int));
    case Taille::Long: return va_arg(*arguments, long);
    case Taille::LongLong: return va_arg(*arguments, long long);
    case Taille::SizeT:
      return static_cast<std::make_signed<size_t>::type>(va_arg(*arguments, size_t));
    case Taille::Int: break;
  }
  return va_arg(*arguments, int);
}

uint64_t lireNonSigne(va_list* arguments, Taille taille) {
  TRACER_APPEL();
  switch (taille) {
    case Taille::Char: return static_cast<unsigned char>(va_arg(*arguments, unsigned));
    case Taille::Short: return static_cast<unsigned short>(va_arg(*arguments, unsigned));
    case Taille::Long: return va_arg(*arguments, unsigned long);
    case Taille::LongLong: return va_arg(*arguments, unsigned long long);
    case Taille::SizeT: return va_arg(*arguments, size_t);
    case Taille::Int: break;
  }
  return va_arg(*arguments, unsigned);
}

// Text padded with spaces to the width ('c', 's', "(nil)").
void ecrireTexte(Sortie& sortie, const Directive& d, const char* texte, size_t longueur) {
  TRACER_APPEL();
  size_t pad = d.largeur > longueur ? d.largeur - longueur : 0;
  if (!d.gauche) sortie.repeter(' ', pad);
  sortie.ecrire(texte, longueur);
  if (d.gauche) sortie.repeter(' ', pad);
}

void ecrireEntier(Sortie& sortie, const Directive& d, char conversion, uint64_t magnitude,
                  bool negatif) {
  TRACER_APPEL();
  unsigned base = 10;
  if (conversion == 'o') base = 8;
  if (conversion == 'x' || conversion == 'X' || conversion == 'p') base = 16;
  const char* alphabet = conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";

  bool nul = magnitude == 0;
  char chiffres[24];  // 22 octal digits at most
  size_t nombre = 0;
  if (magnitude != 0 || !d.avecPrecision || d.precision > 0) {
    if (base == 10) {
      // A constant divisor: the compiler needs no division.
      do {
        chiffres[sizeof chiffres - 1 - nombre++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
      } while (magnitude != 0);
    } else {
      do {
        chiffres[sizeof chiffres - 1 - nombre++] = alphabet[magnitude % base];
        magnitude /= base;
      } while (magnitude != 0);
    }
  }

  size_t zeros = 0;
  if (d.avecPrecision && d.precision > 0 && static_cast<size_t>(d.precision) > nombre) {
    zeros = static_cast<size_t>(d.precision) - nombre;
  }

  const char* prefixe = "";
  if (conversion == 'd' || conversion == 'i') {
    prefixe = negatif ? "-" : d.plus ? "+" : d.espace ? " " : "";
  } else if (!nul && (d.alterne || conversion == 'p')) {
    if (conversion == 'o') prefixe = "0";
    if (conversion == 'x' || conversion == 'p') prefixe = "0x";
    if (conversion == 'X') prefixe = "0X";
  }
  size_t longueurPrefixe = prefixe[0] == '\0' ? 0 : prefixe[1] == '\0' ? 1 : 2;

  size_t total = longueurPrefixe + zeros + nombre;
  size_t pad = d.largeur > total ? d.largeur - total : 0;
  // Empty pieces (the usual prefix, zeros and padding) are not written.
  if (d.gauche) {
    if (longueurPrefixe != 0) sortie.ecrire(prefixe, longueurPrefixe);
    if (zeros != 0) sortie.repeter('0', zeros);
    sortie.ecrire(chiffres + sizeof chiffres - nombre, nombre);
    if (pad != 0) sortie.repeter(' ', pad);
    return;
  }
  if (d.remplissage == '0') {
    zeros += pad;
  } else if (pad != 0) {
    sortie.repeter(' ', pad);
  }
  if (longueurPrefixe != 0) sortie.ecrire(prefixe, longueurPrefixe);
  if (zeros != 0) sortie.repeter('0', zeros);
  sortie.ecrire(chiffres + sizeof chiffres - nombre, nombre);
}

// One conversion; false when the character is not one, so that the caller
// copies the directive and gives its arguments back.
bool convertir(Sortie& sortie, const Directive& d, char conversion, va_list* arguments) {
  TRACER_APPEL();
  switch (conversion) {
    case 'd':
    case 'i': {
      int64_t valeur = lireSigne(arguments, d.taille());
      uint64_t magnitude = valeur < 0 ? 0 - static_cast<uint64_t>(valeur) : static_cast<uint64_t>(valeur);
      ecrireEntier(sortie, d, conversion, magnitude, valeur < 0);
      return true;
    }
    case 'u':
    case 'o':
    case 'x':
    case 'X':
      ecrireEntier(sortie, d, conversion, lireNonSigne(arguments, d.taille()), false);
      return true;
    case 'p': {
      uintptr_t adresse = reinterpret_cast<uintptr_t>(va_arg(*arguments, void*));
      if (adresse == 0) {
        ecrireTexte(sortie, d, "(nil)", 5);
      } else {
        ecrireEntier(sortie, d, 'p', adresse, false);
      }
      return true;
    }
    case 'c': {
      char octet = static_cast<char>(va_arg(*arguments, int));
      ecrireTexte(sortie, d, &octet, 1);
      return true;
    }
    case 's': {
      const char* texte = va_arg(*arguments, const char*);
      if (texte == nullptr) texte = "(null)";
      size_t longueur = 0;
      bool limite = d.avecPrecision && d.precision >= 0;
      while ((!limite || longueur < static_cast<size_t>(d.precision)) && texte[longueur] != '\0') {
        ++longueur;
      }
      ecrireTexte(sortie, d, texte, longueur);
      return true;
    }
    case '%':
      sortie.ecrire("%", 1);
      return true;
    default:
      return false;
  }
}

void formater(Sortie& sortie, const char* format, va_list liste) {
  TRACER_APPEL();
  if (format == nullptr) return;
  va_list arguments;
  va_copy(arguments, liste);
  const char* p = format;
  while (*p != '\0') {
    if (*p != '%') {
      const char* debut = p;
      p += strcspn(p, "%");
      sortie.ecrire(debut, static_cast<size_t>(p - debut));
      continue;
    }
    const char* debut = p++;
    Directive d;
    // Arguments as they stood before the directive's first '*'.
    va_list avant;
    bool avantPris = false;
    bool fini = false;
    while (!fini) {
      char c = *p;
      if (c == '\0') {
        sortie.ecrire(debut, static_cast<size_t>(p - debut));
        break;
      }
      if (c == '*' || (c == '.' && p[1] == '*')) {
        if (!avantPris) {
          va_copy(avant, arguments);
          avantPris = true;
        }
      }
      switch (c) {
        case ' ': d.espace = true; ++p; break;
        case '+': d.plus = true; ++p; break;
        case '-': d.gauche = true; ++p; break;
        case '#': d.alterne = true; ++p; break;
        case '0': d.remplissage = '0'; ++p; break;
        case 'h': ++d.nombreH; ++p; break;
        case 'l': ++d.nombreL; ++p; break;
        case 'z': d.z = true; ++p; break;
        case '*': {
          int valeur = va_arg(arguments, int);
          if (valeur < 0) {
            d.gauche = true;
            d.largeur = 0 - static_cast<unsigned>(valeur);
          } else {
            d.largeur = static_cast<size_t>(valeur);
          }
          ++p;
          break;
        }
        case '.':
          ++p;
          d.avecPrecision = true;
          d.precision = 0;
          if (*p == '*') {
            d.precision = va_arg(arguments, int);
            ++p;
          } else {
            while (estChiffre(*p)) d.precision = ajouterChiffre(d.precision, *p++, INT_MAX);
          }
          break;
        case 'I': {
          ++p;
          if (!estChiffre(*p)) break;
          unsigned nombre = 0;
          while (estChiffre(*p)) nombre = ajouterChiffre(nombre, *p++, UINT_MAX);
          if (nombre == 8) d.nombreH = 2;
          if (nombre == 16) d.nombreH = 1;
          if (nombre == 32) d.nombreL = 1;
          if (nombre == 64) d.nombreL = 2;
          break;
        }
        default:
          if (estChiffre(c)) {
            while (estChiffre(*p)) d.largeur = ajouterChiffre(d.largeur, *p++, LARGEUR_MAX);
            break;
          }
          ++p;
          if (!convertir(sortie, d, c, &arguments)) {
            sortie.ecrire(debut, static_cast<size_t>(p - debut));
            if (avantPris) {
              va_end(arguments);
              va_copy(arguments, avant);
            }
          }
          fini = true;
          break;
      }
    }
    if (avantPris) va_end(avant);
    if (!fini) break;  // the format ended inside the directive
  }
  va_end(arguments);
}

}  // namespace

intptr_t formaterListe(char* destination, size_t taille, const char* format, va_list arguments) {
  TRACER_APPEL();
  Sortie sortie(destination, taille);
  formater(sortie, format, arguments);
  sortie.terminer();
  return static_cast<intptr_t>(sortie.compte());
}

intptr_t formaterMessage(char* destination, size_t taille, const char* format, ...) {
  TRACER_APPEL();
  va_list arguments;
  va_start(arguments, format);
  intptr_t n = formaterListe(destination, taille, format, arguments);
  va_end(arguments);
  return n;
}

int afficherListe(const char* format, va_list arguments) {
  TRACER_APPEL();
  Sortie sortie = Sortie::console();
  formater(sortie, format, arguments);
  sortie.vider();
  fflush(stdout);
  return static_cast<int>(sortie.compte());
}

int afficherMessage(const char* format, ...) {
  TRACER_APPEL();
  va_list arguments;
  va_start(arguments, format);
  int n = afficherListe(format, arguments);
  va_end(arguments);
  return n;
}

void attendreRetour() {
  TRACER_APPEL();
  afficherMessage("-- Press Return to continue --");
  // EOF covers both the end of input and a closed or failed standard input.
  int c;
  do {
    c = getchar();
  } while (c != EOF && c != '\n');
}
