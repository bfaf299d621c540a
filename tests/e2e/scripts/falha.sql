-- A script with a failing statement in the middle: the import goes on past it.
CREATE TABLE antes (id INT NOT NULL PRIMARY KEY);
INSERT INTO antes VALUES (1), (2);
INSERT INTO tabela_que_nao_existe VALUES (1);
CREATE TABLE depois (id INT NOT NULL PRIMARY KEY);
INSERT INTO depois VALUES (3);
CREATE VIEW depois_visao AS SELECT id FROM depois;
