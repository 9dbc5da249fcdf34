create table h (id integer, credito_debito char(1));
commit;
SET TERM ^ ;

create procedure marca as
declare variable v char(1);
begin
  select credito_debito from h where id = 1 into :v;
  if (v = 'C') then
  begin
    update h set credito_debito = 'D' where id = 1;
  end
end
^

SET TERM ; ^

insert into h values (1, 'C');
execute procedure marca;
commit;
