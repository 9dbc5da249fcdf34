/* Tables, data and the usual quoting. */
create table cliente (id integer not null primary key, nome varchar(40), saldo numeric(15,2));
create table nota (id integer, texto varchar(200));
commit;

insert into cliente values (1, 'Ana; da Silva', 10.5);
insert into cliente values (2, 'O''Brien', 0);
insert into cliente (id, nome) values (3, "X");  -- a quoted name: the server refuses it, isql as well
insert into nota values (1, '-- not a comment; /* nor this */');
update cliente set saldo = saldo + 1 where id = 1;
delete from cliente where id = 99;
select count(*) from cliente;
select nome from cliente where nome containing ';' or nome = 'a--b';
commit;
