-- Sample product script for trying the program in the sandbox.
CREATE TABLE IF NOT EXISTS loja (
  id INT NOT NULL PRIMARY KEY,
  nome VARCHAR(60) NOT NULL
);
INSERT INTO loja (id, nome) VALUES (1, 'Matriz');
