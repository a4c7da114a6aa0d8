// Test helpers: standard output into a temporary file, standard input from a
// text or closed. Both put the original stream back when they end.
#pragma once
#include <string>

class SortieCapturee {
 public:
  SortieCapturee();
  ~SortieCapturee();
  SortieCapturee(const SortieCapturee&) = delete;
  SortieCapturee& operator=(const SortieCapturee&) = delete;

  // What reached the file so far; stdout is not flushed first.
  std::string contenu() const;
  // Flushes, puts stdout back and returns everything written.
  std::string terminer();

 private:
  std::string chemin_;
  int sauvegarde_ = -1;
};

class EntreeRedirigee {
 public:
  // Standard input reads the text, then meets its end.
  explicit EntreeRedirigee(const std::string& texte);
  // Standard input is closed.
  EntreeRedirigee();
  ~EntreeRedirigee();
  EntreeRedirigee(const EntreeRedirigee&) = delete;
  EntreeRedirigee& operator=(const EntreeRedirigee&) = delete;

 private:
  std::string chemin_;
  int sauvegarde_ = -1;
};

// The system's folder for temporary files, with its trailing separator.
std::string dossierTemporaire();
// A file name of this process's own in that folder.
std::string cheminTemporaire(const char* nature);
// Every byte of a file; empty when it cannot be opened.
std::string contenuFichier(const std::string& chemin);
