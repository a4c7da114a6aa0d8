// Test helper: replaces one value (a system-call seam entry, a whole seam
// table, a process-wide setting) for the life of the object, then puts the
// original back.
//   Remplacement lecture(appelsSysteme.read, fausseLecture);
//   Remplacement table(appelsSysteme);  // saved only, restored at the end
#pragma once
#include <type_traits>

template <typename T>
class Remplacement {
 public:
  // The second parameter is not deduced, so a captureless lambda converts.
  Remplacement(T& cible, typename std::common_type<T>::type valeur)
      : cible_(cible), origine_(cible) {
    cible_ = valeur;
  }
  explicit Remplacement(T& cible) : cible_(cible), origine_(cible) {}
  ~Remplacement() { cible_ = origine_; }
  Remplacement(const Remplacement&) = delete;
  Remplacement& operator=(const Remplacement&) = delete;

  const T& origine() const { return origine_; }

 private:
  T& cible_;
  T origine_;
};
