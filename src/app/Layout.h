// The window frmPrincipal as a table: every control with its kind, caption,
// position in twips, tab index and initial state. The native window is built
// from it; nothing else decides where a control stands.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace cm {

enum class Control {
    Label2,
    cboDrive,
    Label1,
    cboArquivoSql,
    chkBinario,
    Frame1,
    lblInstalacaoMysql,
    lblConfiguracaoBinario,
    lblCriacaoServico,
    lblConfiguracaoUsuario,
    lblImportacaoBanco,
    lblInstalacaoODBC,
    cmdRemoveServico,
    lblRemoverServico,
    cmdConfigurar,
    cmdFechar,
};
inline constexpr std::size_t kControlCount = 16;

enum class ControlKind { Label, StepLabel, DriveList, ComboBox, CheckBox, Frame, Button };

// Colours as 0x00BBGGRR.
inline constexpr std::uint32_t kWhite = 0xFFFFFF;
inline constexpr std::uint32_t kDarkBlue = 0x800000;  // red 0, green 0, blue 128
inline constexpr std::uint32_t kGreen = 0x008000;     // red 0, green 128, blue 0

struct ControlSpec {
    Control id;
    std::string_view name;
    ControlKind kind;
    std::wstring_view caption;
    int left, top, width, height;  // twips; step labels relative to Frame1
    int tab_index;
    bool visible;
    bool enabled;
    bool dark_blue_text;  // otherwise the platform's default text colour
    bool own_font;        // "MS Sans Serif" 8.25 pt bold
};

inline constexpr int kClientWidthTwips = 4695;
inline constexpr int kClientHeightTwips = 5370;
inline constexpr std::wstring_view kWindowCaption = L"Brevano MySQL";
inline constexpr std::wstring_view kFontName = L"MS Sans Serif";
inline constexpr int kFontHundredthsOfPoint = 825;
inline constexpr int kFontWeight = 700;

// In tab-index order of creation is not required; the table follows the window top-down.
inline constexpr std::array<ControlSpec, kControlCount> kLayout{{
    {Control::Label2, "Label2", ControlKind::Label, L"Drive de instalação", 135, 135, 2415, 255, 5, true, true, true, true},
    {Control::cboDrive, "cboDrive", ControlKind::DriveList, L"", 2340, 90, 2175, 315, 0, true, true, true, true},
    {Control::Label1, "Label1", ControlKind::Label, L"Arquivo do banco de dados", 135, 450, 2415, 255, 2, true, true, true, true},
    {Control::cboArquivoSql, "cboArquivoSql", ControlKind::ComboBox, L"", 135, 675, 4380, 315, 6, true, true, true, true},
    {Control::chkBinario, "chkBinario", ControlKind::CheckBox, L"Ativar log binário (Multi-Loja e Off-Line)", 135, 1080, 3705, 330, 1, true, true, true, true},
    {Control::Frame1, "Frame1", ControlKind::Frame, L" Tarefas ", 135, 1530, 4425, 2580, 4, true, false, false, false},
    {Control::lblInstalacaoMysql, "lblInstalacaoMysql", ControlKind::StepLabel, L"1. Instalação do Mysql", 405, 375, 1920, 195, 9, true, true, true, true},
    {Control::lblConfiguracaoBinario, "lblConfiguracaoBinario", ControlKind::StepLabel, L"2. Configuração do log binário", 405, 750, 2565, 195, 14, true, true, true, true},
    {Control::lblCriacaoServico, "lblCriacaoServico", ControlKind::StepLabel, L"3. Criação de serviço Mysql", 405, 1140, 2355, 195, 13, true, true, true, true},
    {Control::lblConfiguracaoUsuario, "lblConfiguracaoUsuario", ControlKind::StepLabel, L"4. Configuração de contas de usuário", 405, 1530, 3195, 195, 12, true, true, true, true},
    {Control::lblImportacaoBanco, "lblImportacaoBanco", ControlKind::StepLabel, L"5. Importação do banco novo", 450, 1920, 2505, 195, 11, true, true, true, true},
    {Control::lblInstalacaoODBC, "lblInstalacaoODBC", ControlKind::StepLabel, L"Instalação do ODBC (FOI DESATIVADO)", 450, 2310, 3450, 195, 10, false, false, true, true},
    {Control::cmdRemoveServico, "cmdRemoveServico", ControlKind::Button, L"[ ! ]", 135, 4185, 495, 525, 7, true, true, false, true},
    {Control::lblRemoverServico, "lblRemoverServico", ControlKind::Label, L"Remover serviço do MySQL.", 720, 4185, 1455, 510, 8, false, true, false, true},
    {Control::cmdConfigurar, "cmdConfigurar", ControlKind::Button, L"Iniciar configuração", 2250, 4185, 2295, 525, 3, true, true, false, true},
    {Control::cmdFechar, "cmdFechar", ControlKind::Button, L"Fechar", 2250, 4710, 2295, 525, 15, true, true, false, true},
}};

constexpr const ControlSpec& SpecOf(Control id) {
    for (const auto& item : kLayout) {
        if (item.id == id) return item;
    }
    return kLayout[0];
}

// Twips to pixels at a given resolution (15 twips a pixel at 96 DPI).
constexpr int TwipsToPixels(int twips, int dpi) { return twips * dpi / 1440; }

}  // namespace cm
