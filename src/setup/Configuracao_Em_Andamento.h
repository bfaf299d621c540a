// The record of a setup under way, as the runtime keeps it (ReadRunRecord):
// what the run makes and how far it got. A setup writes it before its first
// change and keeps the step current; it is removed once the run has ended
// with nothing of it half made. Found at a start, when no other copy of the
// program runs, it tells of a run that was cut short (a power cut, a kill),
// and of the only folder and service an undo may take.
#pragma once

#include <optional>
#include <string>

namespace cm {

struct Configuracao_Em_Andamento {
    std::wstring inicio;  // when the run began, "AAAA-MM-DD HH:MM:SS"
    std::wstring drive;   // the drive it set the server up on, "c:"
    int etapa = 0;        // the step under way, 1 to 5
    // What tells {drive}\MySQL apart from any folder made there later, once
    // the run has made it; a folder that does not match is not the run's.
    std::wstring pasta;
    // The run was about to make {drive}\MySQL: written before the folder is
    // made, so that a cut before its identity is known still finds it.
    bool pasta_a_criar = false;
    // The run completed: what it made is the shop's server now, never
    // anything to undo, even when the record outlived it.
    bool concluida = false;

    std::wstring Texto() const;
    // Nothing when the text is not such a record.
    static std::optional<Configuracao_Em_Andamento> De(const std::wstring& texto);
    // For the operator: "iniciada em DD/MM/AAAA HH:MM, na etapa N".
    std::wstring Descricao() const;
};

}  // namespace cm
