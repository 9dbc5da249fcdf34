create domain dm_inteiro as integer check (value >= 0);
create table configurar (id integer not null primary key, versao_banco_dados integer, expurgo char(1));
insert into configurar values (1, 4, 'N');
commit;

create domain dm_char_01 as char;

alter table configurar add porta dm_inteiro;

alter table configurar add ssl dm_char_01;

alter table configurar alter column versao_banco_dados position 5;

commit;

update configurar
set versao_banco_dados = 5
where id = 1;
commit;
