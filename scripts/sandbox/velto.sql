-- Sample product script for trying the program in the sandbox.
CREATE TABLE IF NOT EXISTS loja (
  id INT NOT NULL PRIMARY KEY,
  nome VARCHAR(60) NOT NULL
);
INSERT INTO loja (id, nome) VALUES (1, 'Matriz'), (2, 'Filial Centro');

CREATE TABLE IF NOT EXISTS caixa (
  id INT NOT NULL PRIMARY KEY,
  loja_id INT NOT NULL,
  descricao VARCHAR(40) NOT NULL
);
INSERT INTO caixa (id, loja_id, descricao) VALUES (1, 1, 'Caixa 1'), (2, 1, 'Caixa 2'), (3, 2, 'Caixa 1');

CREATE VIEW caixas_por_loja AS
  SELECT l.nome AS loja, COUNT(*) AS caixas FROM caixa c JOIN loja l ON l.id = c.loja_id GROUP BY l.nome;
