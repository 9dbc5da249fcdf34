create table t (n integer);
commit;

SET TERM !! ;
create procedure soma (a integer, b integer) returns (c integer) as
begin
  c = a + b;
  suspend;
end !!
create trigger t_bi for t before insert as
begin
  if (new.n is null) then new.n = 0;
end !!
SET TERM ; !!

insert into t values (null);
select c from soma(1, 2);
commit;
