// Every text the operator reads: in a box, on the console, and the log lines
// the guide tells them to look for. Kept together so that docs/LEIA-ME.txt
// can quote each one exactly, and tests/docs/guide_test.py holds the two to
// each other both ways: a text here that the guide does not quote, or a
// quotation of the guide that is no text of the program, fails the tests.
// In the lowest layer, so that every layer and the console launcher take
// them from here without reaching upwards.
//
// A text built at run time keeps its fixed pieces here, and is declared at
// the end of this file as the program joins it ("texto:"), so that the
// guide quotes it whole. The product's own texts are kept as the product
// shows them, misspellings included.
#pragma once

namespace cm::mensagens {

// ---- titles -------------------------------------------------------------------
inline constexpr const wchar_t* kTituloAtencao = L"Atenção";
inline constexpr const wchar_t* kTituloConcluido = L"Concluído";
inline constexpr const wchar_t* kTituloInformativo = L"Informativo";
inline constexpr const wchar_t* kTituloRemovido = L"Brevano";

// ---- at start -------------------------------------------------------------------
inline constexpr const wchar_t* kSemProduto = L"Instale o Velto antes de configurar o servidor.";
inline constexpr const wchar_t* kLembreteAdministrador =
    L"Certifique-se de que esteja executando este aplicativo como ADMINISTRADOR!";
inline constexpr const wchar_t* kOutraCopia = L"O configurador do MySQL já está em execução nesta máquina.";
// "A configuração anterior do MySQL não terminou (" + Descricao + pergunta or refusal.
inline constexpr const wchar_t* kAnteriorNaoTerminou = L"A configuração anterior do MySQL não terminou (";
inline constexpr const wchar_t* kAnteriorIniciadaEm = L"iniciada em ";
inline constexpr const wchar_t* kAnteriorNaEtapa = L", na etapa ";
inline constexpr const wchar_t* kAnteriorPergunta = L"). Deseja desfazer o que ela fez?";
inline constexpr const wchar_t* kAnteriorDesfeita = L"A configuração anterior foi desfeita.";
// The earlier run's folder is never deleted, only set aside under a new name:
// "A pasta c:\MySQL será guardada como c:\MySQL.desfeita-20261209-101500, com
// tudo o que houver nela: nada será apagado." before, "A pasta ... foi
// guardada como ..." after.
inline constexpr const wchar_t* kAPasta = L"A pasta ";
inline constexpr const wchar_t* kSeraGuardadaComo = L" será guardada como ";
inline constexpr const wchar_t* kNadaSeraApagado = L", com tudo o que houver nela: nada será apagado.";
inline constexpr const wchar_t* kFoiGuardadaComo = L" foi guardada como ";
inline constexpr const wchar_t* kSufixoDesfeita = L".desfeita-";
// "Nada da configuração anterior foi desfeito: o serviço <nome> (<programa>)
// usa a pasta c:\MySQL."
inline constexpr const wchar_t* kAnteriorBloqueada = L"Nada da configuração anterior foi desfeito: o serviço ";
inline constexpr const wchar_t* kUsaAPasta = L" usa a pasta ";
inline constexpr const wchar_t* kRegistroAberto =
    L"O registro da configuração anterior (HKLM\\SOFTWARE\\Brevano\\ConfiguraMySQL) pode ser alterado por "
    L"usuários que não são administradores: ele foi ignorado e nada foi desfeito.";

// ---- the press's checks ---------------------------------------------------------
inline constexpr const wchar_t* kSemDrive = L"Informe o drive onde será instalado o Mysql.";
inline constexpr const wchar_t* kMysqlExiste = L"O MySQL já existe nessa máquina.\r\nA instalação será interrompida!";
inline constexpr const wchar_t* kAnteriorAbraDeNovo =
    L"). Abra o programa de novo e responda Sim para desfazer o que ela fez.";
// "O drive " + "c:" + kSemPermissoesFim
inline constexpr const wchar_t* kSemPermissoesInicio = L"O drive ";
inline constexpr const wchar_t* kSemPermissoesFim = L" não guarda permissões de acesso (NTFS). Escolha outro drive.";
inline constexpr const wchar_t* kPastaInvalida = L"A pasta do programa não pode conter os caracteres % ou !.";
inline constexpr const wchar_t* kSemArquivoZip = L"O arquivo de instalação do Mysql não foi encontrado!";
inline constexpr const wchar_t* kSemBiblioteca = L"A DLL Unzip32.dll não foi encontrada na pasta do aplicativo.";
inline constexpr const wchar_t* kSemScript = L"Informe o arquivo de banco de dados!";
inline constexpr const wchar_t* kScriptNaoEncontrado = L"Arquivo de banco de dados não encontrado!";
inline constexpr const wchar_t* kSemAdministrador =
    L"Este aplicativo precisa ser executado como ADMINISTRADOR.\r\nA instalação será interrompida!";

// ---- what runs as administrator, and where it extracts ---------------------------
// "O drive " + "c:" + kDriveAbertoMeio + "Usuários, Todos" + kDriveAbertoFim
inline constexpr const wchar_t* kDriveAbertoMeio = L" permite que usuários comuns (";
inline constexpr const wchar_t* kDriveAbertoFim =
    L") apaguem ou mudem as permissões do que está na sua raiz: a pasta MySQL poderia ser trocada por outra. "
    L"Escolha outro drive.";
// kAlteraveisInicio, a blank line, one line per file "Mysql.zip (Usuários autenticados)",
// a blank line, kAlteraveisFim.
inline constexpr const wchar_t* kAlteraveisInicio =
    L"Usuários comuns desta máquina podem alterar ou substituir arquivos que este programa usa como "
    L"ADMINISTRADOR:";
inline constexpr const wchar_t* kAlteraveisFim =
    L"Qualquer um deles poderia trocar o servidor MySQL por um programa seu, que o Windows executaria com "
    L"todos os direitos sobre esta máquina. Guarde o programa numa pasta que só administradores podem "
    L"alterar (por exemplo, dentro de C:\\Program Files); veja o LEIA-ME.txt.\r\n"
    L"\r\n"
    L"Deseja continuar mesmo assim?";

// A finished step's label: "1. Instalação do Mysql - OK!".
inline constexpr const wchar_t* kMarcaConcluida = L" - OK!";

// ---- during a run ------------------------------------------------------------------
inline constexpr const wchar_t* kEmAndamento = L"A configuração está em andamento. Aguarde o seu término.";
inline constexpr const wchar_t* kPerguntaInterromper =
    L"Deseja interromper a configuração? O que já foi feito será desfeito.";
// Shown by Windows to whoever ends the session while a run is under way.
inline constexpr const wchar_t* kMotivoEspera = L"Configuração do MySQL em andamento";
// The extraction library's questions, in its own words: "Overwrite <file>?".
inline constexpr const wchar_t* kSobrescreveInicio = L"Overwrite ";
inline constexpr const wchar_t* kSobrescreveTitulo = L"VBUnZip32 - File Already Exists!";
inline constexpr const wchar_t* kPedeSenha = L"Please Enter The Password!";
inline constexpr const wchar_t* kBotaoCancelar = L"Cancel";

// ---- the steps' reasons ------------------------------------------------------------
inline constexpr const wchar_t* kFalhaDescompactacao = L"Não foi possível descompactar o arquivo Mysql.zip.";
inline constexpr const wchar_t* kMensagemSemIni =
    L"A etapa de instalação do MySQL Falhou!\r\n"
    L"\r\n"
    L"Verifique se:\r\n"
    L" - O arquivo Mysql.zip contém o arquivo MySQL\\my.ini.\r\n"
    L"\r\n"
    L"Inicie o processo novamente.";
inline constexpr const wchar_t* kFalhaGravacaoIni = L"Não foi possível gravar o arquivo my.ini.";
inline constexpr const wchar_t* kFalhaServico = L"Não foi possível iniciar o serviço MySQL.";
inline constexpr const wchar_t* kFalhaContas = L"Não foi possível configurar as contas de usuário.";
inline constexpr const wchar_t* kFalhaImportacao = L"Não foi possível importar o banco de dados.";

// ---- the end of a setup --------------------------------------------------------------
inline constexpr const wchar_t* kConcluido = L"Concluído a instalação do servidor MySQL!";
inline constexpr const wchar_t* kImportacaoComErros =
    L"A importação do banco de dados terminou com erros. Veja os detalhes em: ";
inline constexpr const wchar_t* kInterrompida = L"A configuração foi interrompida.";
inline constexpr const wchar_t* kDesfeita = L"A instalação foi desfeita. Corrija o problema e tente novamente.";
inline constexpr const wchar_t* kNaoDesfeita = L"Não foi possível desfazer a instalação por completo.";
inline constexpr const wchar_t* kVejaDetalhes = L"Veja os detalhes em: ";

// ---- the removal -----------------------------------------------------------------------
inline constexpr const wchar_t* kPerguntaRemocao =
    L"Remover o serviço do MySQL impedirá o funcionamento do sistema Velto!\r\n\r\n"
    L"Deseja proseguir com a remoção do serviço?";
inline constexpr const wchar_t* kRemovido = L"O Serviço MySQL foi removido!";
inline constexpr const wchar_t* kNaoRemovido = L"Não foi possível remover o serviço MySQL.\r\nVeja os detalhes em: ";

// ---- the command line and the console ----------------------------------------------------
inline constexpr const wchar_t* kArquivoDeLog = L"Arquivo de log: ";
inline constexpr const wchar_t* kLinhaInvalida = L"Linha de comando inválida: ";
inline constexpr const wchar_t* kOpcaoDesconhecida = L"opção desconhecida: ";
inline constexpr const wchar_t* kOpcaoRepetida = L"opção repetida: ";
inline constexpr const wchar_t* kAjudaSozinha = L"/? deve ser usado sozinho";
inline constexpr const wchar_t* kVerificarSoDrive = L"/verificar aceita apenas /drive=X:";
inline constexpr const wchar_t* kDriveInvalido = L"/drive= precisa de uma letra e dois-pontos";
inline constexpr const wchar_t* kUmModo = L"informe apenas um: /instalar, /remover ou /verificar";
inline constexpr const wchar_t* kRemoverSozinho = L"/remover não aceita outras opções";
inline constexpr const wchar_t* kInstalarDrive = L"/instalar precisa de /drive=X: (uma letra e dois-pontos)";
inline constexpr const wchar_t* kInstalarBanco = L"/instalar precisa de /banco=arquivo.sql";
inline constexpr const wchar_t* kUso =
    L"Uso: ConfiguraMySQL.exe /instalar /drive=C: /banco=arquivo.sql [/logbin]\r\n"
    L"     ConfiguraMySQL.exe /remover\r\n"
    L"     ConfiguraMySQL.exe /verificar [/drive=C:]\r\n"
    L"     ConfiguraMySQL.exe /?\r\n"
    L"\r\n"
    L"  /instalar       configura o servidor como o botão 'Iniciar configuração', sem perguntas\r\n"
    L"  /drive=X:       o drive onde o servidor será instalado\r\n"
    L"  /banco=ARQUIVO  o arquivo .sql na pasta do programa (entre aspas se tiver espaços)\r\n"
    L"  /logbin         ativa o log binário (Multi-Loja e Off-Line)\r\n"
    L"  /remover        interrompe e remove o serviço MySQL, sem perguntar\r\n"
    L"  /verificar      verifica o servidor instalado, sem alterar nada; sem /drive=,\r\n"
    L"                  o drive é o do programa do serviço MySQL\r\n"
    L"\r\n"
    L"Sem opções, o programa abre a janela. As mensagens vão para o arquivo de log\r\n"
    L"ConfiguraMySQL.log e para o console.\r\n"
    L"\r\n"
    L"Códigos de saída: 0 concluído; 1 linha de comando inválida; 2 uma verificação\r\n"
    L"impediu a instalação (Velto, drive, servidor já existente, Mysql.zip, unzip32.dll,\r\n"
    L"arquivo .sql); 3 sem direitos de administrador; 4 o programa já está em execução;\r\n"
    L"5 erro interno; 6 interrompida (Ctrl+C ou console fechado) e desfeita; 10 + n a etapa n\r\n"
    L"falhou; 20 a remoção falhou; 30 + n a verificação n de /verificar falhou (a primeira\r\n"
    L"que falhou). /verificar não precisa de direitos de administrador e roda mesmo com\r\n"
    L"outra cópia do programa em execução.";
// "Etapa " + the step's label + how it ended.
inline constexpr const wchar_t* kEtapa = L"Etapa ";
inline constexpr const wchar_t* kEtapaConcluida = L": concluída";
inline constexpr const wchar_t* kEtapaFalhou = L": falhou";
inline constexpr const wchar_t* kEtapaInterrompida = L": interrompida";
inline constexpr const wchar_t* kCodigoDeSaida = L"Código de saída ";
// A box's text in the log: "Mensagem (<title>): <text>" (every box of an
// unattended run, the press's refusals in the window); and a question
// nobody answered.
inline constexpr const wchar_t* kMensagemNoLog = L"Mensagem";
inline constexpr const wchar_t* kPerguntaSemResposta = L"Pergunta sem resposta: ";

// ---- the console launcher (its error output) ------------------------------------------------
inline constexpr const wchar_t* kLancadorSemAdministrador =
    L"ConfiguraMySQL: é preciso executar como administrador; abra o Prompt de Comando com "
    L"'Executar como administrador'.";
// + the program's path + " (erro N)."
inline constexpr const wchar_t* kLancadorNaoIniciou = L"ConfiguraMySQL: não foi possível iniciar ";
inline constexpr const wchar_t* kLancadorErro = L" (erro ";

// ---- /verificar ------------------------------------------------------------------------------
// "Verificação " + N + ". " + name + ": " + the finding.
inline constexpr const wchar_t* kVerificacao = L"Verificação ";
inline constexpr const wchar_t* kVerificacaoServico = L"Serviço MySQL registrado";
inline constexpr const wchar_t* kVerificacaoAutomatico = L"Início automático do serviço";
inline constexpr const wchar_t* kVerificacaoExecucao = L"Serviço em execução";
inline constexpr const wchar_t* kVerificacaoIni = L"Arquivo my.ini";
inline constexpr const wchar_t* kVerificacaoContas = L"Servidor responde às contas do produto";
inline constexpr const wchar_t* kVerificacaoBanco = L"Banco de dados velto";
inline constexpr const wchar_t* kVerificacaoLogBinario = L"Log binário";
inline constexpr const wchar_t* kVerificacaoPermissoes = L"Permissões da pasta do servidor";
inline constexpr const wchar_t* kVerificacaoEspaco = L"Espaço livre no drive";
inline constexpr const wchar_t* kVerificacaoLogErros = L"Log de erros do servidor";
inline constexpr const wchar_t* kOk = L"OK";
inline constexpr const wchar_t* kFalha = L"FALHA: ";
inline constexpr const wchar_t* kAviso = L"AVISO: ";
inline constexpr const wchar_t* kNaoVerificado = L"não verificado (";
inline constexpr const wchar_t* kDependeDe = L"depende da verificação ";
inline constexpr const wchar_t* kInformeDrive = L"; informe o drive com /drive=X:";
inline constexpr const wchar_t* kSemServico = L"não há serviço MySQL registrado";
inline constexpr const wchar_t* kProgramaIlegivel = L"não foi possível ler o programa do serviço";
inline constexpr const wchar_t* kSemDireitos = L" (sem direitos de administrador)";
inline constexpr const wchar_t* kServicoExecuta = L"o serviço executa ";
inline constexpr const wchar_t* kForaDeMysqlBin = L", fora de uma pasta \\MySQL\\bin";
inline constexpr const wchar_t* kNao = L", não ";
inline constexpr const wchar_t* kServicoManual = L"o serviço não inicia com o Windows";
inline constexpr const wchar_t* kServicoParado = L"o serviço está parado";
inline constexpr const wchar_t* kServicoTransicao = L"o serviço está iniciando ou parando";
inline constexpr const wchar_t* kSemArquivo = L"não há o arquivo ";
inline constexpr const wchar_t* kNaoLido = L"não foi possível ler ";
inline constexpr const wchar_t* kPorta = L"porta ";
inline constexpr const wchar_t* kPortaPadrao = L"3306, a padrão";
inline constexpr const wchar_t* kLogBinarioIni = L", log binário: ";
inline constexpr const wchar_t* kSim = L"sim";
inline constexpr const wchar_t* kNaoPalavra = L"não";
inline constexpr const wchar_t* kSemCliente = L"não há o cliente ";
inline constexpr const wchar_t* kClienteSemFim = L"o cliente não terminou em ";
inline constexpr const wchar_t* kClienteNaoExecutado = L"o cliente não pôde ser executado";
inline constexpr const wchar_t* kClienteCodigo = L"o cliente terminou com o código ";
inline constexpr const wchar_t* kNaoResponde = L"o servidor não responde em localhost (";
inline constexpr const wchar_t* kSenhaRecusada = L"a senha do produto foi recusada para ";
inline constexpr const wchar_t* kContasEntram = L"root, velto e transfer entram";
inline constexpr const wchar_t* kRespostaInesperada = L"resposta inesperada do cliente: ";
inline constexpr const wchar_t* kSemBanco = L"não há o banco velto";
inline constexpr const wchar_t* kBancoVazio = L"o banco velto não tem tabelas";
inline constexpr const wchar_t* kTabela = L" tabela";
inline constexpr const wchar_t* kTabelas = L" tabelas";
inline constexpr const wchar_t* kLigado = L"ligado";
inline constexpr const wchar_t* kDesligado = L"desligado";
inline constexpr const wchar_t* kLogBinarioDiferente = L"o servidor está com o log binário ";
inline constexpr const wchar_t* kIniPede = L" e o my.ini pede ";
inline constexpr const wchar_t* kFaltaReiniciar = L": falta reiniciar o serviço MySQL";
inline constexpr const wchar_t* kComoPedeIni = L", como pede o my.ini";
inline constexpr const wchar_t* kDriveSemPermissoes = L"o drive ";
inline constexpr const wchar_t* kDriveSemPermissoesFim =
    L" não guarda permissões de acesso (NTFS): qualquer usuário pode alterar ";
inline constexpr const wchar_t* kSemDireitosInicio = L"sem direitos de administrador, ";
inline constexpr const wchar_t* kNaoFoiVerificada = L" não foi verificada";
inline constexpr const wchar_t* kPodemAlterar = L"podem alterar ";
inline constexpr const wchar_t* kDriveIlegivel = L"não foi possível consultar o drive ";
inline constexpr const wchar_t* kRestam = L"restam ";
inline constexpr const wchar_t* kLivresNoDrive = L" livres no drive ";
inline constexpr const wchar_t* kLivres = L" livres";
inline constexpr const wchar_t* kNaoPodeSerLida = L" não pode ser lida";
inline constexpr const wchar_t* kSemLogErros = L"não há log de erros (*.err) em ";
inline constexpr const wchar_t* kNenhumErro = L"nenhum erro desde o último início, ";
inline constexpr const wchar_t* kUltimosErros = L"as últimas linhas com [ERROR] desde o último início, em ";
inline constexpr const wchar_t* kServidorEmOrdem = L"Servidor MySQL em ordem.";
inline constexpr const wchar_t* kServidorComProblemas = L"O servidor MySQL tem problemas: ";
inline constexpr const wchar_t* kFalhas = L" falha(s).";
// Who may change a file, as the access lists name them.
inline constexpr const wchar_t* kGrupoUsuarios = L"Usuários";
inline constexpr const wchar_t* kGrupoAutenticados = L"Usuários autenticados";
inline constexpr const wchar_t* kGrupoTodos = L"Todos";

// ---- log lines the guide explains ----------------------------------------------------------
// The fields that open a section: "Programa: Brevano MySQL 1.2.3", each on its own line.
inline constexpr const wchar_t* kCampoPrograma = L"Programa";
inline constexpr const wchar_t* kCampoWindows = L"Windows";
inline constexpr const wchar_t* kCampoLinhaComando = L"Linha de comando";
inline constexpr const wchar_t* kCampoPasta = L"Pasta do programa";
inline constexpr const wchar_t* kCampoDrive = L"Drive";
inline constexpr const wchar_t* kCampoArquivoSql = L"Arquivo do banco de dados";
inline constexpr const wchar_t* kCampoLogBinario = L"Log binário";
inline constexpr const wchar_t* kCampoAnterior = L"Configuração anterior";
inline constexpr const wchar_t* kCampoAdministrador = L"Direitos de administrador";
// A check without /drive=: "Drive: o do programa do serviço MySQL".
inline constexpr const wchar_t* kDriveDoServico = L"o do programa do serviço MySQL";
// "Mysql.zip (SHA-256): " + the digest, or kHashIlegivel.
inline constexpr const wchar_t* kCampoHash = L" (SHA-256)";
inline constexpr const wchar_t* kHashIlegivel = L"não foi possível ler";
// "Aviso: podem alterar a pasta do programa: Usuários".
inline constexpr const wchar_t* kPastaDoPrograma = L"a pasta do programa";
// Section titles.
inline constexpr const wchar_t* kSecaoConfiguracao = L"Configuração do servidor MySQL";
inline constexpr const wchar_t* kSecaoBarrada = L"Configuração do servidor MySQL barrada nas verificações iniciais";
inline constexpr const wchar_t* kSecaoRemocao = L"Remoção do serviço MySQL";
inline constexpr const wchar_t* kSecaoLinhaComando = L"Execução pela linha de comando";
inline constexpr const wchar_t* kSecaoVerificacao = L"Verificação do servidor MySQL";
inline constexpr const wchar_t* kSecaoAnterior = L"Desfazer a configuração anterior do MySQL";
inline constexpr const wchar_t* kAvisoAlteravel = L"Aviso";
inline constexpr const wchar_t* kFalhaEtapa = L"Falha: ";
inline constexpr const wchar_t* kErro = L"Erro ";
inline constexpr const wchar_t* kResultadoConcluida = L"Resultado: concluída";
inline constexpr const wchar_t* kResultadoComErros = L"Resultado: concluída; a importação terminou com erros";
inline constexpr const wchar_t* kResultadoInterrompida = L"Resultado: interrompida na etapa ";
inline constexpr const wchar_t* kResultadoInterrompidaPedido = L"Resultado: interrompida a pedido na etapa ";
inline constexpr const wchar_t* kResultadoRemovido = L"Resultado: o serviço MySQL não está mais registrado";
inline constexpr const wchar_t* kResultadoRegistrado = L"Resultado: o serviço MySQL ainda está registrado";
inline constexpr const wchar_t* kAposSegundos = L" após ";
inline constexpr const wchar_t* kNaoParou = L"O serviço MySQL não parou em ";
inline constexpr const wchar_t* kNaoApagado = L": não foi apagado";
inline constexpr const wchar_t* kDesfeitaExecucao = L"Desfeita: nada desta execução ficou na máquina";
inline constexpr const wchar_t* kDesfeitaAnterior = L"Desfeita: nada da configuração anterior ficou na máquina";
inline constexpr const wchar_t* kNaoDesfeitaPorCompleto = L"Não desfeita por completo: veja as linhas 'Restou' acima";
inline constexpr const wchar_t* kDesfazendoServico = L"Desfazendo: o serviço MySQL registrado nesta execução será removido";
inline constexpr const wchar_t* kDesfeitoServico = L"Desfeito: o serviço MySQL foi removido";
inline constexpr const wchar_t* kRestouServico = L"Restou: o serviço MySQL, ainda registrado";
inline constexpr const wchar_t* kErroRemoverServico = L"Erro ao remover o serviço MySQL: ";
inline constexpr const wchar_t* kRestouServicoTalvez = L"Restou: o serviço MySQL, se estiver registrado";
inline constexpr const wchar_t* kRestouPasta = L"Restou: a pasta ";
inline constexpr const wchar_t* kUsadaPeloServico = L", usada pelo serviço MySQL";
inline constexpr const wchar_t* kDesfeitoPasta = L"Desfeito: a pasta ";
inline constexpr const wchar_t* kFoiApagada = L" foi apagada";
inline constexpr const wchar_t* kNaoTocada = L"Não tocada: a pasta ";
inline constexpr const wchar_t* kNaoCriadaPorAquela = L", que não é a que aquela configuração criou";
// "Não tocada: a pasta c:\MySQL, usada pelo serviço <nome> (<programa>)"
inline constexpr const wchar_t* kUsadaPeloServicoDe = L", usada pelo serviço ";
inline constexpr const wchar_t* kServicoNaoTocado =
    L"Não tocado: o serviço MySQL, pois não se sabe se a pasta que ele executa é a daquela configuração";
inline constexpr const wchar_t* kRegistroNaoApagado = L"Não foi possível apagar o registro da configuração em andamento: ";
inline constexpr const wchar_t* kRegistroNaoAtualizado =
    L"Não foi possível atualizar o registro da configuração em andamento: ";
inline constexpr const wchar_t* kDescompactando = L"Descompactando ";
inline constexpr const wchar_t* kForaDaPasta = L"O arquivo Mysql.zip tem arquivos fora da pasta MySQL:";
inline constexpr const wchar_t* kEMais = L"(e mais ";
inline constexpr const wchar_t* kUnzipRetornou = L"a unzip32.dll retornou o código ";
inline constexpr const wchar_t* kIniRecusado = L" (recusado)";
inline constexpr const wchar_t* kServicoEstado = L"Serviço ";
inline constexpr const wchar_t* kNaoRegistrado = L"não registrado";
inline constexpr const wchar_t* kEmExecucao = L"em execução";
inline constexpr const wchar_t* kParado = L"parado";
inline constexpr const wchar_t* kInicioAutomatico = L", inicialização automática";
inline constexpr const wchar_t* kInicioManual = L", inicialização manual";
inline constexpr const wchar_t* kOutroPrograma = L"O serviço MySQL registrado executa outro programa: ";
inline constexpr const wchar_t* kSaida = L"saída:";
inline constexpr const wchar_t* kErros = L"erros:";
inline constexpr const wchar_t* kDuracao = L"duração ";
inline constexpr const wchar_t* kCodigoSaidaComando = L"; código de saída ";
inline constexpr const wchar_t* kTempoEsgotado = L"tempo esgotado";
inline constexpr const wchar_t* kInterrompido = L"interrompido";
inline constexpr const wchar_t* kProgramaEncerrado = L": o programa foi encerrado, com os que ele iniciou (";
inline constexpr const wchar_t* kPeloJob = L"pelo job do Windows";
inline constexpr const wchar_t* kPelaLista = L"pela lista de processos";

// ---- the shop's terminals: the server's port, other servers, the firewall ----------------------
// The press's refusal: "A porta " + 3306 + " já está em uso pelo programa " + mysqld.exe +
// " (processo " + 1234 + ")" + kPortaEmUsoFim, or, when the system does not say
// who, "A porta " + 3306 + kPortaEmUsoOutro + kPortaEmUsoFim.
inline constexpr const wchar_t* kPortaEmUsoInicio = L"A porta ";
inline constexpr const wchar_t* kPortaEmUsoPrograma = L" já está em uso pelo programa ";
inline constexpr const wchar_t* kPortaEmUsoOutro = L" já está em uso por outro programa";
inline constexpr const wchar_t* kProcesso = L" (processo ";
inline constexpr const wchar_t* kPortaEmUsoFim =
    L". Pare ou remova o servidor que usa essa porta, ou feche o programa que a ocupa, e tente novamente.";
inline constexpr const wchar_t* kConsultarPortas = L"Não foi possível consultar as portas em uso";
// "Aviso: outro servidor MySQL ou MariaDB nesta máquina: serviço " + name + " (" + program + "), " +
// kEmExecucao or kParado + kInicioAutomatico or kInicioManual; in the setup's log and in /verificar.
inline constexpr const wchar_t* kOutroServidor = L"Aviso: outro servidor MySQL ou MariaDB nesta máquina: serviço ";
// The firewall rule: "Brevano MySQL (porta " + 3306 + ")".
inline constexpr const wchar_t* kNomeRegra = L"Brevano MySQL (porta ";
inline constexpr const wchar_t* kRegraNaoCriada = L"Aviso: o firewall do Windows não criou a regra '";
inline constexpr const wchar_t* kRegraNaoCriadaFim =
    L"' (o firewall está desligado ou não permitiu a regra): os terminais da loja podem não alcançar o servidor";
// "A regra do firewall '" + name + kRegraApagada or kRegraNaoApagada.
inline constexpr const wchar_t* kRegraFirewall = L"A regra do firewall '";
inline constexpr const wchar_t* kRegraApagada = L"' foi apagada";
inline constexpr const wchar_t* kRegraNaoApagada = L"' não foi apagada: ela não existia, ou o firewall não permitiu";
// /verificar, checks 11 and 12.
inline constexpr const wchar_t* kVerificacaoPorta = L"Porta do servidor";
inline constexpr const wchar_t* kVerificacaoFirewall = L"Firewall";
inline constexpr const wchar_t* kLivre = L" livre, o serviço não está em execução";
inline constexpr const wchar_t* kAPorta = L"a porta ";
inline constexpr const wchar_t* kEmUsoPor = L" está em uso por ";
inline constexpr const wchar_t* kEmUsoSemDono = L" está em uso por um programa que o Windows não identifica";
inline constexpr const wchar_t* kNadaAtende = L"nada atende na porta ";
inline constexpr const wchar_t* kComServico = L", com o serviço MySQL em execução";
inline constexpr const wchar_t* kSemRegra = L"não há a regra '";
inline constexpr const wchar_t* kSemRegraFim =
    L"' no firewall do Windows (ou ele não respondeu): os terminais da loja podem não alcançar o servidor";

// ---- the log: what runs as administrator, and what the first step lists ------------------------
// The header's field when the question was answered yes: kCampoConfirmacao + ": " +
// "ConfiguraMySQL.exe (Usuários), Mysql.zip (Todos)" + kConfirmadoPor + "LOJA\\tecnico".
inline constexpr const wchar_t* kCampoConfirmacao = L"Arquivos que usuários comuns podem alterar";
inline constexpr const wchar_t* kConfirmadoPor = L"; Sim respondido por ";
inline constexpr const wchar_t* kRespostaNao = L"Resposta: Não; nada foi alterado.";
inline constexpr const wchar_t* kZipNaoPreso =
    L"Não foi possível abrir o arquivo Mysql.zip de modo que nenhum outro programa o altere durante a "
    L"instalação";
// + the library's code + ":", then what it said.
inline constexpr const wchar_t* kListagemFalhou = L"a listagem do arquivo Mysql.zip pela unzip32.dll retornou o código ";
// kListagemNomeou + "2" + kListagemDe + "3" + kListagemEntradas
inline constexpr const wchar_t* kListagemNomeou = L"a listagem do arquivo Mysql.zip pela unzip32.dll nomeou ";
inline constexpr const wchar_t* kListagemDe = L" das ";
inline constexpr const wchar_t* kListagemEntradas = L" entradas que ele contém";
inline constexpr const wchar_t* kNomesInexatos =
    L"O arquivo Mysql.zip tem nomes que a unzip32.dll não gravaria exatamente como estão:";

// ---- errors, shown in a box by the standard handler and logged as "Erro N: ..." ----------------
inline constexpr const wchar_t* kErroChamada = L"Chamada de procedimento ou argumento inválido";
inline constexpr const wchar_t* kErroEstouro = L"Estouro";
inline constexpr const wchar_t* kErroMemoria = L"Memória insuficiente";
inline constexpr const wchar_t* kErroTipos = L"Tipos incompatíveis";
inline constexpr const wchar_t* kErroNull = L"Uso inválido de Null";
inline constexpr const wchar_t* kErroCarregarDll = L"Erro ao carregar a DLL";
inline constexpr const wchar_t* kErroInterno = L"Erro interno";
inline constexpr const wchar_t* kArquivoNaoEncontrado = L"Arquivo não encontrado";
inline constexpr const wchar_t* kErroPontoEntrada = L"Ponto de entrada de DLL não encontrado";
inline constexpr const wchar_t* kErroAplicativo = L"Erro definido pelo aplicativo ou pelo objeto";
inline constexpr const wchar_t* kArquivoNaoEncontradoDe = L"Arquivo não encontrado: ";
inline constexpr const wchar_t* kSemPrograma = L"Arquivo não encontrado: a linha de comando não começa com um programa";
inline constexpr const wchar_t* kProgramaInicio = L"O programa ";
inline constexpr const wchar_t* kExigeAdministrador = L" exige permissão de administrador";
inline constexpr const wchar_t* kNaoIniciouPrograma = L"Não foi possível iniciar o programa ";
inline constexpr const wchar_t* kErroDoSistema = L" (erro do sistema ";
inline constexpr const wchar_t* kPontoEntradaInicio = L"Ponto de entrada de DLL ";
inline constexpr const wchar_t* kNaoEncontradoEm = L" não encontrado em ";
inline constexpr const wchar_t* kNomeIncorreto = L"Nome ou número de arquivo incorreto";
inline constexpr const wchar_t* kNomeIncorretoDe = L"Nome ou número de arquivo incorreto: ";
inline constexpr const wchar_t* kDiscoNaoPronto = L"O disco não está pronto";
inline constexpr const wchar_t* kPermissoesPasta = L"Não foi possível preparar as permissões da pasta ";
inline constexpr const wchar_t* kCriarPasta = L"Não foi possível criar a pasta ";
inline constexpr const wchar_t* kApagarPasta = L"Não foi possível apagar a pasta ";
inline constexpr const wchar_t* kRenomearPasta = L"Não foi possível renomear a pasta ";
inline constexpr const wchar_t* kConsultarServicos = L"Não foi possível consultar os serviços do Windows";
inline constexpr const wchar_t* kGravarRegistro = L"Não foi possível gravar o registro da configuração em andamento";
inline constexpr const wchar_t* kProtegerRegistro =
    L"Não foi possível proteger o registro da configuração em andamento contra outros usuários";
inline constexpr const wchar_t* kApagarRegistro = L"Não foi possível apagar o registro da configuração em andamento";
inline constexpr const wchar_t* kConverterPara = L"Não foi possível converter o texto para a página de código ";
inline constexpr const wchar_t* kConverterDe = L"Não foi possível converter o texto da página de código ";
inline constexpr const wchar_t* kCaminhoInexato = L"Não foi possível passar à unzip32.dll exatamente o caminho ";
// An error nothing handled: "Erro em tempo de execução 'N':", a blank line, the text.
inline constexpr const wchar_t* kErroExecucaoInicio = L"Erro em tempo de execução '";
inline constexpr const wchar_t* kErroExecucaoFim = L"':";
// What failed when the window could not be made: "Não foi possível " + what.
inline constexpr const wchar_t* kNaoFoiPossivel = L"Não foi possível ";
inline constexpr const wchar_t* kRegistrarClasse = L"registrar a classe da janela principal";
inline constexpr const wchar_t* kCriarJanela = L"criar a janela principal";
inline constexpr const wchar_t* kCriarFonte = L"criar a fonte da janela principal";
inline constexpr const wchar_t* kCriarControles = L"criar os controles da janela principal";

// ---- texts built at run time ----------------------------------------------------------------------
// Each as the program joins it: a text of this file, a control's caption
// by its name, a variable part in <...>, or a piece in quotes. The guide quotes each whole; a text of this
// file that stands in none of these is shown as it is, and one that stands
// in some is shown alone only where it is listed alone.
//
// At start, and the undo of a run cut short:
// texto: kAnteriorNaoTerminou kAnteriorIniciadaEm <DD/MM/AAAA HH:MM> kAnteriorNaEtapa <n> kAnteriorPergunta
// texto: kAnteriorNaoTerminou kAnteriorIniciadaEm <DD/MM/AAAA HH:MM> kAnteriorNaEtapa <n> kAnteriorPergunta " " kAPasta <pasta> kSeraGuardadaComo <pasta> kSufixoDesfeita <AAAAMMDD-HHMMSS> kNadaSeraApagado
// texto: kAnteriorDesfeita " " kVejaDetalhes <log>
// texto: kAnteriorDesfeita " " kAPasta <pasta> kFoiGuardadaComo <pasta> kSufixoDesfeita <AAAAMMDD-HHMMSS> ". " kVejaDetalhes <log>
// texto: kAnteriorBloqueada <serviço> " (" <programa> ")" kUsaAPasta <pasta> ". " kVejaDetalhes <log>
// texto: kRegistroAberto " " kVejaDetalhes <log>
// texto: kNaoDesfeita " " kVejaDetalhes <log>
// The press's checks:
// texto: kMysqlExiste " " kAnteriorNaoTerminou kAnteriorIniciadaEm <DD/MM/AAAA HH:MM> kAnteriorNaEtapa <n> kAnteriorAbraDeNovo
// texto: kMysqlExiste
// texto: kSemPermissoesInicio <drive> kSemPermissoesFim
// texto: kSemPermissoesInicio <drive> kDriveAbertoMeio <grupos> kDriveAbertoFim
// texto: kAlteraveisInicio " " <arquivo> " (" <grupos> ") " kAlteraveisFim
// texto: kPortaEmUsoInicio <porta> kPortaEmUsoPrograma <programa> kProcesso <n> ")" kPortaEmUsoFim
// texto: kPortaEmUsoInicio <porta> kPortaEmUsoOutro kPortaEmUsoFim
// A run's end:
// texto: lblInstalacaoMysql kMarcaConcluida
// texto: lblInstalacaoMysql " (" <n> "%)"
// texto: kConcluido
// texto: kConcluido " " kImportacaoComErros <log>
// texto: <motivo> " " kDesfeita " " kVejaDetalhes <log>
// texto: kInterrompida " " kDesfeita " " kVejaDetalhes <log>
// texto: kInterrompida " " kNaoDesfeita " " kVejaDetalhes <log>
// texto: <motivo> " " kVejaDetalhes <log>
// texto: kNaoRemovido <log>
// The extraction library's questions:
// texto: kSobrescreveInicio <arquivo> "?"
// texto: kSobrescreveTitulo
// texto: kMensagemNoLog " (" kSobrescreveTitulo "): " kSobrescreveInicio <arquivo> "?"
// texto: kPedeSenha
// The command line and the console:
// texto: kArquivoDeLog <log>
// texto: kLinhaInvalida kOpcaoDesconhecida <opção>
// texto: kLinhaInvalida kOpcaoRepetida <opção>
// texto: kLinhaInvalida <motivo>
// texto: kEtapa lblInstalacaoMysql
// texto: kEtapa <etapa> kEtapaConcluida
// texto: kEtapa <etapa> kEtapaFalhou
// texto: kEtapa <etapa> kEtapaInterrompida
// texto: kCodigoDeSaida <n>
// texto: kMensagemNoLog " (" <título> "): " <texto>
// texto: kMensagemNoLog ": " <texto>
// texto: kPerguntaSemResposta kPedeSenha
// texto: kLancadorNaoIniciou <programa> kLancadorErro <n> ")."
// /verificar:
// texto: kVerificacao <n> ". " <verificação> ": " kOk
// texto: kVerificacao <n> ". " <verificação> ": " kOk " (" <achado> ")"
// texto: kVerificacao <n> ". " <verificação> ": " kFalha <achado>
// texto: kVerificacao <n> ". " <verificação> ": " kAviso <achado>
// texto: kVerificacao <n> ". " <verificação> ": " kNaoVerificado kDependeDe <n> ")"
// texto: kSemServico kInformeDrive
// texto: kSemServico
// texto: kProgramaIlegivel kSemDireitos
// texto: kServicoExecuta <programa> kForaDeMysqlBin
// texto: kServicoExecuta <programa> kNao <programa>
// texto: kSemArquivo <arquivo>
// texto: kNaoLido <arquivo>
// texto: kPorta <porta> kLogBinarioIni <sim ou não>
// texto: kPorta kPortaPadrao kLogBinarioIni <sim ou não>
// texto: kSemCliente <cliente>
// texto: kClienteSemFim <n> " s"
// texto: kClienteCodigo <n>
// texto: kNaoResponde <erro> ")"
// texto: kSenhaRecusada <contas> " (" <erro> ")"
// texto: kRespostaInesperada <resposta>
// texto: <n> kTabela
// texto: <n> kTabelas
// texto: kLogBinarioDiferente kLigado kIniPede kDesligado kFaltaReiniciar
// texto: kLogBinarioDiferente kDesligado kIniPede kLigado kFaltaReiniciar
// texto: kLigado kComoPedeIni
// texto: kDesligado kComoPedeIni
// texto: kDriveSemPermissoes <drive> kDriveSemPermissoesFim <pasta>
// texto: kSemDireitosInicio <pasta> kNaoFoiVerificada
// texto: kSemDireitosInicio <pasta> kNaoPodeSerLida
// texto: kPodemAlterar <pasta> ": " <grupos>
// texto: kDriveIlegivel <drive>
// texto: kRestam <tamanho> kLivresNoDrive <drive>
// texto: <tamanho> kLivres
// texto: kSemLogErros <pasta>
// texto: kNenhumErro <arquivo>
// texto: kUltimosErros <arquivo> ":"
// texto: kPorta <porta> kLivre
// texto: kPorta <porta> ", " <programa>
// texto: kAPorta <porta> kEmUsoPor <programa> kProcesso <n> ")"
// texto: kAPorta <porta> kEmUsoSemDono
// texto: kNadaAtende <porta> kComServico
// texto: kNomeRegra <porta> ")"
// texto: kSemRegra kNomeRegra <porta> ")" kSemRegraFim
// texto: kServidorComProblemas <n> kFalhas
// texto: kOutroServidor <serviço> " (" <programa> "), " <estado>
// The log:
// texto: kCampoPrograma ": " <versão>
// texto: kCampoWindows ": " <versão>
// texto: kCampoLinhaComando ": " <linha>
// texto: kCampoPasta ": " <pasta>
// texto: kCampoDrive ": " <drive>
// texto: kCampoDrive ": " kDriveDoServico
// texto: kCampoArquivoSql ": " <arquivo>
// texto: kCampoLogBinario ": " kNaoPalavra
// texto: kCampoAnterior ": " kAnteriorIniciadaEm <DD/MM/AAAA HH:MM> kAnteriorNaEtapa <n>
// texto: kCampoAdministrador ": " kSim
// texto: "Mysql.zip" kCampoHash ": " kHashIlegivel
// texto: kAvisoAlteravel ": " kPodemAlterar kPastaDoPrograma ": " <grupos>
// texto: kCampoConfirmacao ": " <arquivos> kConfirmadoPor <conta>
// texto: kFalhaEtapa <motivo>
// texto: kErro <n> ": " <descrição>
// texto: kResultadoInterrompida <etapa>
// texto: kResultadoInterrompidaPedido <etapa>
// texto: kResultadoRegistrado
// texto: kResultadoRegistrado kAposSegundos <n> " s"
// texto: kNaoParou <n> " s" kNaoApagado
// texto: kErroRemoverServico <erro>
// texto: kRestouPasta <pasta> " (" <erro> ")"
// texto: kRestouPasta <pasta> " (" kRenomearPasta <pasta> kErroDoSistema <n> "))"
// texto: kRestouPasta <pasta> kUsadaPeloServico
// texto: kDesfeitoPasta <pasta> kFoiApagada
// texto: kDesfeitoPasta <pasta> kFoiGuardadaComo <pasta>
// texto: kNaoTocada <pasta> kNaoCriadaPorAquela
// texto: kNaoTocada <pasta> kUsadaPeloServicoDe <serviço> " (" <programa> ")"
// texto: kRegistroNaoApagado <erro>
// texto: kRegistroNaoAtualizado <erro>
// texto: kDescompactando <arquivo> " em " <drive>
// texto: kListagemFalhou <n> ":"
// texto: kListagemNomeou <n> kListagemDe <n> kListagemEntradas
// texto: kUnzipRetornou <n> ":"
// texto: kEMais <n> ")"
// texto: <linha> kIniRecusado
// texto: kServicoEstado "MySQL: " <estado>
// texto: kOutroPrograma <programa>
// texto: kDuracao <n> kCodigoSaidaComando <n>
// texto: kTempoEsgotado kAposSegundos <n> kProgramaEncerrado <como> ")"
// texto: kInterrompido kAposSegundos <n> kProgramaEncerrado <como> ")"
// texto: kRegraNaoCriada kNomeRegra <porta> ")" kRegraNaoCriadaFim
// texto: kRegraFirewall kNomeRegra <porta> ")" kRegraApagada
// texto: kRegraFirewall kNomeRegra <porta> ")" kRegraNaoApagada
// Run-time errors, as the box and the log give their description:
// texto: kArquivoNaoEncontradoDe <arquivo>
// texto: kProgramaInicio <programa> kExigeAdministrador
// texto: kNaoIniciouPrograma <programa> kErroDoSistema <n> ")"
// texto: kPontoEntradaInicio <função> kNaoEncontradoEm <biblioteca>
// texto: kNomeIncorretoDe <nome>
// texto: kPermissoesPasta <pasta> kErroDoSistema <n> ")"
// texto: kCriarPasta <pasta> kErroDoSistema <n> ")"
// texto: kApagarPasta <pasta> kErroDoSistema <n> ")"
// texto: kRenomearPasta <pasta> kErroDoSistema <n> ")"
// texto: kConsultarServicos kErroDoSistema <n> ")"
// texto: kConsultarPortas kErroDoSistema <n> ")"
// texto: kGravarRegistro kErroDoSistema <n> ")"
// texto: kProtegerRegistro kErroDoSistema <n> ")"
// texto: kApagarRegistro kErroDoSistema <n> ")"
// texto: kConverterPara <n> kErroDoSistema <n> ")"
// texto: kConverterDe <n> kErroDoSistema <n> ")"
// texto: kCaminhoInexato <caminho>
// texto: kErroExecucaoInicio <n> kErroExecucaoFim " " <descrição>
// texto: kErroExecucaoInicio <n> kErroExecucaoFim " " kNaoFoiPossivel kCriarJanela kErroDoSistema <n> ")"
// texto: kNaoFoiPossivel kRegistrarClasse kErroDoSistema <n> ")"
// texto: kNaoFoiPossivel kCriarJanela kErroDoSistema <n> ")"
// texto: kNaoFoiPossivel kCriarFonte kErroDoSistema <n> ")"
// texto: kNaoFoiPossivel kCriarControles kErroDoSistema <n> ")"

}  // namespace cm::mensagens
