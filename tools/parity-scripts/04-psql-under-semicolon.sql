create procedure vazio as begin end;
create or alter procedure vazio2 as begin end;
execute block as begin end;
select 1 from rdb$database;
commit;
