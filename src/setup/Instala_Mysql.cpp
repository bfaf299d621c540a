#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "app/frmPrincipal.h"
#include "setup/Comandos.h"
#include "system/ErrorHandling.h"
#include "system/Mensagens.h"
#include "system/Runtime.h"
#include "system/modRegistro.h"
#include "unzip/modZip.h"

namespace cm {

namespace {

constexpr const char* kVariavelPath = "Path";
constexpr const wchar_t* kPastaBin = L"\\MySQL\\bin";
constexpr const wchar_t* kPastaDados = L"\\MySQL\\Data";
constexpr std::uint32_t kBufferPath = 1024;
constexpr std::size_t kNomesNoRegistro = 10;

std::wstring Maiusculas(std::wstring texto) {
    for (auto& c : texto) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return texto;
}

// The process's Path as the platform holds it (ANSI bytes); empty when unset
// or empty.
std::string LePath() {
    std::string buffer(kBufferPath, ' ');
    std::uint32_t n = Rt().GetEnvironmentVariableA(kVariavelPath, buffer.data(), kBufferPath);
    // A value that does not fit is answered with the size it needs instead of
    // being copied; ask again with that much room. A value that keeps growing
    // between two reads is left alone rather than taken from a stale buffer.
    for (int tentativa = 0; n >= buffer.size() && tentativa < 4; ++tentativa) {
        buffer.assign(n, ' ');
        n = Rt().GetEnvironmentVariableA(kVariavelPath, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    }
    if (n >= buffer.size()) return {};
    buffer.resize(n);
    return buffer;
}

// Whether an entry lands inside the server's folder, by the path the
// library writes it to. The archive is extracted into the drive's root,
// and only {drive}\MySQL is this run's to make and to take back: a package
// with another top folder, or a name that points anywhere else on the
// drive, would be written there as administrator.
bool NaPastaDoServidor(std::wstring caminho) {
    for (auto& c : caminho) c = c == L'/' ? L'\\' : c;
    return caminho == L"." || Minusculas(caminho).rfind(L"mysql\\", 0) == 0;
}

// A block of names in the log: the first ten, and how many more.
void Escreve_Nomes(const wchar_t* titulo, const std::vector<std::wstring>& nomes) {
    if (nomes.empty()) return;
    std::wstring linhas;
    for (std::size_t i = 0; i < std::min(nomes.size(), kNomesNoRegistro); ++i) linhas += nomes[i] + L"\r\n";
    if (nomes.size() > kNomesNoRegistro) {
        linhas += mensagens::kEMais + std::to_wstring(nomes.size() - kNomesNoRegistro) + L")";
    }
    modRegistro::Escreve_Bloco(std::wstring(L"    ") + titulo, linhas);
}

// Whether the listing shows an archive whose every entry would be written
// as it is named, inside the server's folder; what it does not show goes
// to the log. A listing that failed, or that named fewer entries than the
// archive holds, shows nothing of those it left out.
bool Listagem_Aceita(const modZip::Conteudo& conteudo) {
    using namespace mensagens;
    if (conteudo.codigo != UZ_OK) {
        modRegistro::Escreve_Bloco(L"    " + (kListagemFalhou + std::to_wstring(conteudo.codigo)) + L":",
                                   conteudo.saida);
        return false;
    }
    if (conteudo.entradas.size() < conteudo.contidas) {
        modRegistro::Escreve(L"    " + (kListagemNomeou + std::to_wstring(conteudo.entradas.size())) + kListagemDe +
                             std::to_wstring(conteudo.contidas) + kListagemEntradas);
        return false;
    }
    std::vector<std::wstring> inexatos, fora;
    for (const auto& entrada : conteudo.entradas) {
        if (!entrada.caminho || !entrada.exata) {
            inexatos.push_back(entrada.nome);
        } else if (!NaPastaDoServidor(*entrada.caminho)) {
            fora.push_back(*entrada.caminho);
        }
    }
    Escreve_Nomes(kNomesInexatos, inexatos);
    Escreve_Nomes(kForaDaPasta, fora);
    return inexatos.empty() && fora.empty();
}

}  // namespace

void frmPrincipal::Instala_Mysql(const std::wstring& Drive, const std::wstring& Arquivo_Zip, Logico& Resultado) {
    Resultado = Falso;
    // The start button's check found no server folder, so one that is there
    // now is this press's own: removed again when the step fails, so that a
    // new press is not stopped by what is left of a broken extraction.
    criado_.drive = Drive;
    WithStandardHandler([&] {
        // Nobody may change the archive from the log's hash of it (or from
        // now) to the end of the step: what is listed is what is extracted.
        if (!zip_preso_) zip_preso_ = Rt().HoldFile(Arquivo_Zip);
        if (!zip_preso_) modRegistro::Escreve(std::wstring(L"    ") + mensagens::kZipNaoPreso);
        // Looked at before anything is written, so that a wrong package
        // leaves the drive as it was.
        const modZip::Conteudo conteudo = zip_preso_ ? modZip::Lista_Zip(Arquivo_Zip) : modZip::Conteudo{};
        if (!zip_preso_ || !Listagem_Aceita(conteudo)) {
            Falha_Etapa(mensagens::kFalhaDescompactacao);
            return;
        }
        // Made before the extraction so that everything extracted inherits
        // their access: the service runs bin\mysqld-nt.exe as LocalSystem,
        // and Data holds the shop's data.
        if (!Anota_Pasta_A_Criar()) return;
        Rt().MakeFolder(Drive + comandos::kPastaServidor, FolderAccess::Server);
        criado_.pasta = true;
        Anota_Pasta_Criada();
        Rt().MakeFolder(Drive + kPastaDados, FolderAccess::Private);

        modRegistro::Escreve_Agora(mensagens::kDescompactando + Arquivo_Zip + L" em " + Drive + L"\\");
        // The extraction takes a while: its label tells how far it is.
        const std::wstring rotulo(SpecOf(Control::lblInstalacaoMysql).caption);
        modZip::Progresso = [&](int parte) {
            view_.SetText(Control::lblInstalacaoMysql, rotulo + L" (" + std::to_wstring(parte) + L"%)");
        };
        // However the extraction ends, the label is the step's again.
        struct Sem_Progresso {
            FormView& view;
            const std::wstring& rotulo;
            ~Sem_Progresso() {
                modZip::Progresso = nullptr;
                view.SetText(Control::lblInstalacaoMysql, rotulo);
            }
        } sem_progresso{view_, rotulo};
        const std::int32_t codigo = modZip::Descompacta_Zip(Arquivo_Zip, Drive, &conteudo);
        if (codigo != 0) {
            modRegistro::Escreve_Bloco(std::wstring(L"    ") + mensagens::kUnzipRetornou + std::to_wstring(codigo) + L":",
                                       modZip::Zip_Saida);
            Rt().DoEvents();
            Remove_Pasta_Criada();
            Falha_Etapa(mensagens::kFalhaDescompactacao);
            return;
        }

        const std::string atual = LePath();
        if (!atual.empty()) {
            const std::wstring valor = Rt().FromAnsi(atual);
            const bool presente = Minusculas(valor).find(Minusculas(Drive + kPastaBin)) != std::wstring::npos;
            // Appended to the bytes as read, so that the rest of the value
            // reaches the platform exactly as it was.
            const std::string novo = presente ? atual : atual + Rt().ToAnsi(L";" + Maiusculas(Drive) + kPastaBin);
            Rt().SetEnvironmentVariableA(kVariavelPath, novo.c_str());
        }

        Rt().DoEvents();
        Resultado = Verdadeiro;
    });
    if (Resultado == Falso) Remove_Pasta_Criada();
    zip_preso_.reset();
}

}  // namespace cm
