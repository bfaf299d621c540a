-- A product script of the shape the Velto scripts have: tables with keys,
-- rows, a view and a stored procedure.
CREATE TABLE loja (
  id INT NOT NULL PRIMARY KEY,
  nome VARCHAR(60) NOT NULL
) ENGINE=InnoDB;

CREATE TABLE produto (
  id INT NOT NULL PRIMARY KEY,
  loja_id INT NOT NULL,
  descricao VARCHAR(80) NOT NULL,
  preco DECIMAL(10,2) NOT NULL,
  FOREIGN KEY (loja_id) REFERENCES loja (id)
) ENGINE=InnoDB;

INSERT INTO loja (id, nome) VALUES (1, 'Matriz'), (2, 'Filial Centro');
INSERT INTO produto (id, loja_id, descricao, preco) VALUES
  (10, 1, 'Cafe 500g', 18.90),
  (11, 1, 'Acucar 1kg', 5.49),
  (12, 2, 'Leite 1l', 4.99);

CREATE VIEW produto_loja AS
  SELECT p.id, p.descricao, l.nome AS loja FROM produto p JOIN loja l ON l.id = p.loja_id;

DELIMITER //
CREATE PROCEDURE total_loja(IN loja INT)
BEGIN
  SELECT COUNT(*), SUM(preco) FROM produto WHERE loja_id = loja;
END //
DELIMITER ;
