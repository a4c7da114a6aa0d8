#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "core/format.h"
#include "storage/plateforme.h"
#include "support_memoire.h"

namespace {

const uint16_t T = 512;
typedef std::vector<T_Transfert> Journal;
typedef std::vector<std::string> Messages;

T_Transfert lu(uint64_t premier, uint32_t nombre) { return {false, premier, nombre}; }
T_Transfert ecrit(uint64_t premier, uint32_t nombre) { return {true, premier, nombre}; }

// The sector numbers that the buffer's sector images carry.
std::vector<uint64_t> secteursDans(const std::vector<uint8_t>& tampon) {
  std::vector<uint64_t> resultat;
  for (size_t i = 0; i + T <= tampon.size(); i += T) resultat.push_back(SupportMemoire::secteurLu(&tampon[i]));
  return resultat;
}

std::string horsSupport(const char* sens, uint64_t a, uint64_t b, uint64_t c) {
  char texte[200];
  formaterMessage(texte, sizeof texte,
                  "Trying to %s " FMT_U64 " sectors from sector " FMT_U64 " when support has " FMT_U64
                  " sectors only.", sens, a, b, c);
  return texte;
}

}  // namespace

class Transfert : public TestSupports {
 protected:
  uint32_t L = nombreMaxSecteurs(T);
  std::vector<uint8_t> tampon = std::vector<uint8_t>(4 * 128 * T, 0xAB);
};

TEST_F(Transfert, DecoupageLineaireEtCHS) {
  SupportMemoire* s = new SupportMemoire(10000);
  ASSERT_TRUE(s->lire(10, 2 * L + 3, tampon.data(), rappelTest));
  EXPECT_EQ(s->journal, (Journal{lu(10, L), lu(10 + L, L), lu(10 + 2 * L, 3)}));
  EXPECT_EQ(secteursDans(tampon)[2 * L + 2], 12 + 2 * L);
  EXPECT_EQ(tampon[T + 9], SupportMemoire::motif(11, 9));
  s->journal.clear();
  EXPECT_TRUE(s->lire(5, 0, nullptr, rappelTest));
  EXPECT_TRUE(s->journal.empty());

  // CHS access: sector 59 is the 60th of its track, so 4 sectors first.
  SupportMemoire* chs = new SupportMemoire(1024 * 255 * 63, T, 1, 63, 255);
  ASSERT_TRUE(chs->lire(59, 100, tampon.data(), nullptr));
  Journal attendu = {lu(59, 4)};
  for (uint64_t debut = 63, reste = 96; reste > 0;) {
    uint32_t k = static_cast<uint32_t>(std::min<uint64_t>({reste, 63, L}));
    attendu.push_back(lu(debut, k));
    debut += k;
    reste -= k;
  }
  EXPECT_EQ(chs->journal, attendu);
  EXPECT_EQ(secteursDans(tampon)[99], 158u);

  // No geometry: one sector a chunk, never an empty chunk.
  SupportMemoire* sansPiste = new SupportMemoire(100, T, 1, 0, 0);
  ASSERT_TRUE(sansPiste->lire(0, 2, tampon.data(), nullptr));
  EXPECT_EQ(sansPiste->journal, (Journal{lu(0, 1), lu(1, 1)}));
  EXPECT_TRUE(messagesRecus.empty());
}

TEST_F(Transfert, HorsDuSupport) {
  const uint64_t N = 1000;
  SupportMemoire* s = new SupportMemoire(N);
  EXPECT_FALSE(s->lire(N, 3, tampon.data(), rappelTest));
  EXPECT_TRUE(s->journal.empty());
  EXPECT_FALSE(s->lire(N - 4, 10, tampon.data(), rappelTest));
  EXPECT_EQ(s->journal, Journal{lu(N - 4, 4)});
  EXPECT_EQ(tampon[4 * T], 0xAB);  // nothing beyond the last sector
  EXPECT_FALSE(s->ecrireControle(996, 10, tampon.data(), rappelTest, true));
  EXPECT_EQ(s->journal.back(), ecrit(996, 4));
  EXPECT_FALSE(s->lire(N + 7, 1, tampon.data(), nullptr));  // silent without a callback
  EXPECT_EQ(messagesRecus,
            (Messages{horsSupport("read", 3, N, N),
                      "Trying to read 6 sectors from sector 1000 when support has 1000 sectors only.",
                      horsSupport("write", 6, N, N)}));

  // first + count would wrap below N and pass a summed test.
  const uint64_t G = UINT64_MAX - 10;
  SupportMemoire* geant = new SupportMemoire(G, T, 0, 0, 0);
  messagesRecus.clear();
  EXPECT_FALSE(geant->lire(G - 2, 20, tampon.data(), rappelTest));
  EXPECT_EQ(geant->journal, Journal{lu(G - 2, 2)});
  EXPECT_EQ(messagesRecus, Messages{horsSupport("read", 18, G, G)});
}

TEST_F(Transfert, RequetesRefuseesAvantTouteDivision) {
  SupportMemoire* vide = new SupportMemoire(100, 0);
  errno = 0;
  EXPECT_FALSE(vide->lire(0, 1, tampon.data(), rappelTest));
  EXPECT_EQ(errno, EINVAL);
  EXPECT_FALSE(vide->ecrireControle(0, 1, tampon.data(), rappelTest, true));
  // 4 GiB or more does not fit one request.
  SupportMemoire* grand = new SupportMemoire(UINT64_MAX, 4096, 0, 0, 0);
  errno = 0;
  EXPECT_FALSE(grand->lire(0, 1u << 20, tampon.data(), rappelTest));
  EXPECT_EQ(errno, EINVAL);
  EXPECT_FALSE(grand->ecrireControle(0, 0xFFFFFFFFu, tampon.data(), rappelTest, true));
  EXPECT_TRUE(vide->journal.empty() && grand->journal.empty() && messagesRecus.empty());
}

TEST_F(Transfert, Redirection) {
  SupportMemoire* s = new SupportMemoire(1000);
  ASSERT_TRUE(s->fixerRedirection(100, 500, 4));
  ASSERT_TRUE(s->lire(98, 8, tampon.data(), nullptr));
  EXPECT_EQ(s->journal, (Journal{lu(98, 2), lu(500, 4), lu(104, 2)}));
  tampon.resize(8 * T);
  EXPECT_EQ(secteursDans(tampon), (std::vector<uint64_t>{98, 99, 500, 501, 502, 503, 104, 105}));
  EXPECT_EQ(s->redirectionLongueur(), 4u);  // restored after the nested reads

  s->journal.clear();
  ASSERT_TRUE(s->ecrireControle(103, 3, tampon.data(), nullptr, true));
  EXPECT_EQ(s->journal, (Journal{ecrit(503, 1), ecrit(104, 2)}));

  EXPECT_TRUE(s->fixerRedirection(990, 0, 10));  // ends at the last sector
  EXPECT_FALSE(s->fixerRedirection(990, 0, 11));
  EXPECT_EQ(s->redirectionLongueur(), 0u);
  EXPECT_FALSE(s->fixerRedirection(0, 995, 6));
  // Both ends would wrap below the count with summed tests.
  SupportMemoire* geant = new SupportMemoire(UINT64_MAX - 10, T, 0, 0, 0);
  EXPECT_FALSE(geant->fixerRedirection(UINT64_MAX - 15, UINT64_MAX - 16, UINT64_MAX - 2));
}

TEST_F(Transfert, ReprisesSecteurParSecteur) {
  // Without a callback: zeros from the first bad sector to the chunk's end,
  // and the read stops there.
  SupportMemoire* s = new SupportMemoire(10000);
  s->echecs = {5};
  EXPECT_FALSE(s->lire(0, 2 * L, tampon.data(), nullptr));
  Journal attendu = {lu(0, L)};
  for (uint64_t i = 0; i <= 5; ++i) attendu.push_back(lu(i, 1));
  EXPECT_EQ(s->journal, attendu);
  EXPECT_EQ(secteursDans(tampon)[4], 4u);
  for (size_t i = 5 * T; i < L * T; ++i) ASSERT_EQ(tampon[i], 0) << i;
  EXPECT_EQ(tampon[L * T], 0xAB);

  // With one: each bad sector reported, left as the transfer left it, and
  // the read goes on. Sector numbers past 32 bits print whole.
  const uint64_t B = (1ull << 32) + 5;
  SupportMemoire* r = new SupportMemoire(B + 10000, T, 0, 0, 0);
  r->echecs = {B, B + 2};
  EXPECT_FALSE(r->lire(B - 5, L + 2, tampon.data(), rappelTest));
  attendu = {lu(B - 5, L)};
  for (uint64_t i = 0; i < L; ++i) attendu.push_back(lu(B - 5 + i, 1));
  attendu.push_back(lu(B - 5 + L, 2));
  EXPECT_EQ(r->journal, attendu);
  EXPECT_EQ(messagesRecus, (Messages{"Error when reading sector 4294967301.",
                                     "Error when reading sector 4294967303."}));
  EXPECT_EQ(tampon[5 * T + 100], 0xEE);
  EXPECT_EQ(secteursDans(tampon)[6], B + 1);
}

TEST_F(Transfert, EcritureVaJusquAuBout) {
  SupportMemoire* s = new SupportMemoire(10000);
  for (T_RappelMessage rappel : {rappelTest, static_cast<T_RappelMessage>(nullptr)}) {
    s->journal.clear();
    s->ecrits.clear();
    messagesRecus.clear();
    s->echecs = {3, 4};
    EXPECT_FALSE(s->ecrireControle(0, 2 * L, tampon.data(), rappel, true));
    Journal attendu = {ecrit(0, L)};
    for (uint64_t i = 0; i < L; ++i) attendu.push_back(ecrit(i, 1));
    attendu.push_back(ecrit(L, L));
    EXPECT_EQ(s->journal, attendu);
    EXPECT_EQ(s->ecrits.size(), 2 * L - 2);
    EXPECT_EQ(messagesRecus, (rappel ? Messages{"Error when writing sector 3.", "Error when writing sector 4."}
                                     : Messages{}));
  }
}

TEST_F(Transfert, SansAccesDirectOuSansLecturePhysique) {
  // A medium without direct access gets its request whole, once.
  SupportMemoire* s = new SupportMemoire(10000);
  s->direct = false;
  s->echecs = {1};
  EXPECT_FALSE(s->lire(0, 3 * L, tampon.data(), rappelTest));
  EXPECT_EQ(s->journal, Journal{lu(0, 3 * L)});
  EXPECT_TRUE(messagesRecus.empty());
  // The base medium reads nothing: a retried chunk comes back as zeros.
  Support_Bloc* base = new Support_Bloc(T, 0, 100, 63, 16, 1, 0, 0xF8, 0x80);
  EXPECT_FALSE(base->lire(0, 3, tampon.data(), nullptr));
  for (size_t i = 0; i < 3 * T; ++i) ASSERT_EQ(tampon[i], 0);
}

TEST_F(Transfert, PermissionDEcriture) {
  SupportMemoire* s = new SupportMemoire(1000);
  s->fixerIdentifiant(Support_Bloc::T_Identifiant(ID_DISQUE, 0u));
  s->fixerFenetreEcriture(100, 10);
  struct Cas {
    uint64_t premier;
    uint32_t nombre;
    bool forcer, accepte;
  } cas[] = {{100, 10, false, true}, {109, 1, false, true},  {101, 10, false, false},
             {99, 2, false, false},  {110, 1, false, false}, {100, 11, false, false},
             {500, 3, false, false}, {500, 3, true, true},   {110, 0, false, false}};
  const Messages protege = {"Support is protected to not be written."};
  for (const Cas& c : cas) {
    messagesRecus.clear();
    s->journal.clear();
    EXPECT_EQ(s->ecrireControle(c.premier, c.nombre, tampon.data(), rappelTest, c.forcer), c.accepte)
        << c.premier << "+" << c.nombre;
    EXPECT_EQ(messagesRecus, c.accepte ? Messages{} : protege);
    EXPECT_EQ(s->journal.empty(), !c.accepte);
  }
  // A window at the top of the sector range: a summed end would wrap and
  // let a request that runs past the window in.
  SupportMemoire* haut = new SupportMemoire(UINT64_MAX, T, 0, 0, 0);
  haut->fixerFenetreEcriture(UINT64_MAX - 5, 5);
  messagesRecus.clear();
  EXPECT_FALSE(haut->ecrireControle(UINT64_MAX - 2, 4, tampon.data(), rappelTest, false));
  EXPECT_EQ(messagesRecus, protege);
  EXPECT_TRUE(haut->ecrireControle(UINT64_MAX - 5, 5, tampon.data(), rappelTest, false));
  EXPECT_EQ(haut->journal, Journal{ecrit(UINT64_MAX - 5, 5)});
  // ecrire forces on an opened medium only.
  EXPECT_FALSE(s->ecrire(600, 1, tampon.data(), nullptr));
  ASSERT_EQ(s->ouvrirAcces(), nullptr);
  EXPECT_TRUE(s->ecrire(600, 1, tampon.data(), nullptr));
  s->fermerAcces();
  // Not writable: refused even when forced.
  s->fixerModifiable(false);
  messagesRecus.clear();
  EXPECT_FALSE(s->ecrireControle(100, 1, tampon.data(), rappelTest, true));
  EXPECT_EQ(messagesRecus, protege);
}
